// Device images: a raw image behind the five bytes "ABUF" and a type digit, written as a
// .dev file beside the raw image. The raw image is streamed through a small buffer, so an
// image of any size takes a few MiB of memory.
#pragma once

#include "text/text_language.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

using DeviceImageHeader = std::array<std::uint8_t, 5>;

inline constexpr std::string_view deviceImageMagic = "ABUF";
inline constexpr std::string_view deviceImageExtension = ".dev";

// Shown when the raw image cannot be opened: "取数据" (the tool's own words for "fetching
// data") and " faiture !", the same in both languages and not part of the string table.
inline constexpr std::string_view rawImageOpenFailureText = "\xE5\x8F\x96\xE6\x95\xB0\xE6\x8D\xAE faiture !";

// '1', '2' and '3' are the image types the camera knows.
constexpr bool isDeviceImageDigit(char digit) {
    return digit == '1' || digit == '2' || digit == '3';
}

DeviceImageHeader makeDeviceImageHeader(char digit);

// Folder of rawPath + its title (name without the last extension) + ".dev".
std::string deviceImagePathOf(std::string_view rawPath);

struct PackageOutcome {
    bool written = false;
    std::string outputPath; // the file written, or that would have been
    // For a message box; empty when written. "取数据 faiture !" when the raw image cannot be
    // opened; otherwise a line naming the path and the reason.
    std::string message;
    // The path and the system's reason behind message, for a log or the command line.
    std::string detail;
    bool inputUnusable = false; // the raw image could not be opened or read
    // Set when written from a raw image that begins with a device image header itself: it
    // is packaged as it is, behind a second header, and the technician is told.
    std::string warning;
};

// Reads the raw image at rawPath and writes the device image of type digit to outputPath
// (empty: deviceImagePathOf(rawPath)), creating or replacing it safely (WriteWholeFile). An
// output that is the raw image itself, under whatever name, is refused and nothing written.
// Messages are in language.
PackageOutcome PackageDeviceImage(char digit, const std::string& rawPath, const std::string& outputPath = {},
                                  TextLanguage language = TextLanguage::English);

} // namespace orvane
