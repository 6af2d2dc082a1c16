// The one way an image file becomes the bytes a camera is sent: read whole in the length it
// had when opened, its size and kind checked, its SHA-256 taken from the same read, and each
// fault given as one reason in the language asked for.
#pragma once

#include "imagetools/readable_file.h"
#include "text/text_language.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane {

// The largest image whose block count, floor(length / 1024) + 1, fits the SizeHeader's
// 16 bits; a longer one is refused before anything is sent.
inline constexpr std::uint64_t maxImageLength = 67'107'839;

struct FirmwareImage {
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::string sha256; // lower-case hexadecimal
};

// What a front end lets through that is nearly always a mistake.
struct ImageRules {
    bool allowEmpty = false;   // a 0-byte file is nearly always a failed download or copy
    bool allowAnyKind = false; // HEX text or an ELF file would be taken for firmware by a camera
};

struct ImageLoading {
    std::optional<FirmwareImage> image; // set unless refused
    std::string refusal;                // why not, one line in the language asked for
};

// Reads path whole. keepOpen, when given, keeps the file open afterwards, so that it cannot be
// replaced under a running upgrade on systems that lock open files.
ImageLoading loadFirmwareImage(const std::string& path, const ImageRules& rules, TextLanguage language,
                               std::optional<ReadableFile>* keepOpen = nullptr);

// Why bytes that were read from path look like no firmware (Intel HEX text: every line a ':'
// record; an ELF file), with what to do instead; nullopt when they may be firmware.
std::optional<std::string> imageKindRefusal(std::span<const std::uint8_t> bytes, const std::string& path,
                                            TextLanguage language);

} // namespace orvane
