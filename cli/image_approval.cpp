#include "cli/image_approval.h"

#include "imagetools/approved_images.h"

namespace orvane {

std::optional<std::string> imageRefusal(const std::string& listPath, const std::string& sha256,
                                        const std::string& target, const std::string& imageName,
                                        TextLanguage language) {
    const ApprovedImagesReading reading = readApprovedImages(listPath, language);
    if (!reading.problems.empty()) {
        std::string problems;
        for (const std::string& problem : reading.problems) {
            problems += (problems.empty() ? "" : "\n") + problem;
        }
        return problems;
    }
    return approvalRefusal(reading.list, sha256, target, imageName, language);
}

} // namespace orvane
