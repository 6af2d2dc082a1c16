// Packaging a raw image as a device image file.
#include "imagetools/device_image.h"

#include "imagetools/file_name.h"
#include "imagetools/readable_file.h"
#include "imagetools/write_whole_file.h"
#include "text/string_table.h"

#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace orvane {

DeviceImageHeader makeDeviceImageHeader(char digit) {
    return {static_cast<std::uint8_t>(deviceImageMagic[0]), static_cast<std::uint8_t>(deviceImageMagic[1]),
            static_cast<std::uint8_t>(deviceImageMagic[2]), static_cast<std::uint8_t>(deviceImageMagic[3]),
            static_cast<std::uint8_t>(digit)};
}

std::string deviceImagePathOf(std::string_view rawPath) {
    return folderOf(rawPath) + fileTitleOf(rawPath) + std::string(deviceImageExtension);
}

PackageOutcome PackageDeviceImage(char digit, const std::string& rawPath, const std::string& outputPath,
                                  TextLanguage language) {
    PackageOutcome outcome;
    outcome.outputPath = outputPath.empty() ? deviceImagePathOf(rawPath) : outputPath;
    const auto fail = [&outcome](std::string message, std::string detail) {
        outcome.message = std::move(message);
        outcome.detail = std::move(detail);
        return outcome;
    };
    if (!isDeviceImageDigit(digit)) {
        std::string text = "the device image type must be 1, 2 or 3";
        return fail(text, text);
    }
    FileStatus status;
    auto raw = ReadableFile::open(rawPath, status);
    if (!raw) {
        outcome.inputUnusable = true;
        return fail(std::string(rawImageOpenFailureText),
                    fillText(textOf(IDS_FILE_UNREADABLE, language), {rawPath, status.reason}));
    }
    const DeviceImageHeader header = makeDeviceImageHeader(digit);
    if (raw->size() > std::numeric_limits<std::size_t>::max() - header.size()) {
        outcome.inputUnusable = true;
        std::string text =
            fillText(textOf(IDS_FILE_UNREADABLE, language), {rawPath, "the file is too large"});
        return fail(text, text);
    }
    std::vector<std::uint8_t> image;
    try {
        image.resize(header.size() + static_cast<std::size_t>(raw->size()));
    } catch (const std::bad_alloc&) {
        outcome.inputUnusable = true;
        std::string text =
            fillText(textOf(IDS_FILE_UNREADABLE, language), {rawPath, "not enough memory to hold it"});
        return fail(text, text);
    }
    if (status = raw->readAll(std::span(image).subspan(header.size())); !status.ok) {
        outcome.inputUnusable = true;
        std::string text = fillText(textOf(IDS_FILE_UNREADABLE, language), {rawPath, status.reason});
        return fail(text, text);
    }
    std::memcpy(image.data(), header.data(), header.size());
    if (status = WriteWholeFile(outcome.outputPath, image); !status.ok) {
        std::string text =
            fillText(textOf(IDS_FILE_UNWRITABLE, language), {outcome.outputPath, status.reason});
        return fail(text, text);
    }
    outcome.written = true;
    return outcome;
}

} // namespace orvane
