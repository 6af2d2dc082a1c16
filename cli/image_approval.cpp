#include "cli/image_approval.h"

#include "cli/exit_codes.h"
#include "imagetools/approved_images.h"

namespace orvane {
namespace {

std::optional<std::string> listRefusal(const ImageChoice& choice, const FirmwareImage& image) {
    const ApprovedImagesReading reading = readApprovedImages(choice.approved, choice.language);
    if (!reading.problems.empty()) {
        std::string problems;
        for (const std::string& problem : reading.problems) {
            problems += (problems.empty() ? "" : "\n") + problem;
        }
        return problems;
    }
    return approvalRefusal(reading.list, image.sha256, choice.target, image.path, choice.language);
}

} // namespace

std::optional<int> acceptImage(const ImageChoice& choice, Console& console,
                               std::optional<FirmwareImage>& image) {
    ImageLoading loading = loadFirmwareImage(choice.path, choice.rules, choice.language);
    std::optional<std::string> refusal;
    if (!loading.image) {
        refusal = std::move(loading.refusal);
    } else if (!choice.approved.empty()) {
        refusal = listRefusal(choice, *loading.image);
    }
    if (refusal) {
        return console.result({.exitCode = exitUnusable, .text = *refusal, .details = {{"step", "image"}}});
    }
    image = std::move(loading.image);
    return std::nullopt;
}

} // namespace orvane
