// Packaging a raw image as a device image file, streamed from the raw image to the output.
#include "imagetools/device_image.h"

#include "imagetools/file_name.h"
#include "imagetools/readable_file.h"
#include "imagetools/write_whole_file.h"
#include "text/string_table.h"

#include <algorithm>
#include <memory>
#include <new>

namespace orvane {
namespace {

// Large enough that the system calls cost nothing next to the disk, small enough to be
// nothing next to the image.
constexpr std::size_t pieceSize = std::size_t{1} << 20;

bool beginsWithHeader(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 5 && std::equal(deviceImageMagic.begin(), deviceImageMagic.end(), bytes.begin()) &&
           isDeviceImageDigit(static_cast<char>(bytes[4]));
}

// Writes header and the raw image to outputPath. readFailed tells a failure of the raw image's
// read from one of the output's write.
FileStatus streamImage(ReadableFile& raw, const DeviceImageHeader& header, const std::string& outputPath,
                       std::string& headerFound, bool& readFailed) {
    std::unique_ptr<std::uint8_t[]> storage;
    try {
        storage = std::make_unique_for_overwrite<std::uint8_t[]>(pieceSize);
    } catch (const std::bad_alloc&) {
        readFailed = true;
        return FileStatus::failure("not enough memory to hold it");
    }
    const std::span<std::uint8_t> buffer(storage.get(), pieceSize);
    return writeWholeFileFrom(outputPath, [&](const ByteWriter& write) {
        if (FileStatus status = write(header); !status.ok) {
            return status;
        }
        bool first = true;
        bool writeFailed = false;
        const FileStatus status = raw.readInPieces(buffer, [&](std::span<const std::uint8_t> piece) {
            if (first && beginsWithHeader(piece)) {
                headerFound.assign(piece.begin(), piece.begin() + 5);
            }
            first = false;
            FileStatus written = write(piece);
            writeFailed = !written.ok;
            return written;
        });
        readFailed = !status.ok && !writeFailed;
        return status;
    });
}

} // namespace

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
    if (fileIdentityOf(outcome.outputPath) == raw->identity()) {
        std::string text = fillText(textOf(IDS_OUTPUT_IS_INPUT, language), {outcome.outputPath, rawPath});
        return fail(text, text);
    }
    std::string headerFound;
    bool readFailed = false;
    status = streamImage(*raw, makeDeviceImageHeader(digit), outcome.outputPath, headerFound, readFailed);
    if (!status.ok) {
        outcome.inputUnusable = readFailed;
        const TextId id = readFailed ? IDS_FILE_UNREADABLE : IDS_FILE_UNWRITABLE;
        std::string text =
            fillText(textOf(id, language), {readFailed ? rawPath : outcome.outputPath, status.reason});
        return fail(text, text);
    }
    if (!headerFound.empty()) {
        outcome.warning = fillText(textOf(IDS_PACKAGE_HEADER_AGAIN, language), {rawPath, headerFound});
    }
    outcome.written = true;
    return outcome;
}

} // namespace orvane
