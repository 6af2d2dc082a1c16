#include "imagetools/firmware_image.h"

#include "imagetools/sha256.h"
#include "text/string_table.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <string_view>

namespace orvane {
namespace {

std::string reasonOf(int id, TextLanguage language, std::initializer_list<std::string_view> args) {
    return fillText(textOf(id, language), args);
}

// ':' then the hexadecimal digits of a count, an address, a type and a checksum at least.
bool isHexRecord(std::string_view line) {
    constexpr std::size_t shortest = 11;
    if (line.size() < shortest || line.front() != ':' || (line.size() - 1) % 2 != 0) {
        return false;
    }
    return std::all_of(line.begin() + 1, line.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// Every line a record (CR LF or LF, blank lines aside), and at least one.
bool isIntelHexText(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    bool anyRecord = false;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            if (!isHexRecord(line)) {
                return false;
            }
            anyRecord = true;
        }
        start = end + 1;
    }
    return anyRecord;
}

bool isElf(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t magic[] = {0x7f, 'E', 'L', 'F'};
    return bytes.size() >= sizeof magic && std::equal(std::begin(magic), std::end(magic), bytes.begin());
}

} // namespace

std::optional<std::string> imageKindRefusal(std::span<const std::uint8_t> bytes, const std::string& path,
                                            TextLanguage language) {
    if (isElf(bytes)) {
        return reasonOf(IDS_IMAGE_IS_ELF, language, {path});
    }
    if (isIntelHexText(bytes)) {
        return reasonOf(IDS_IMAGE_IS_HEX, language, {path});
    }
    return std::nullopt;
}

ImageLoading loadFirmwareImage(const std::string& path, const ImageRules& rules, TextLanguage language,
                               std::optional<ReadableFile>* keepOpen) {
    FileStatus status;
    std::optional<ReadableFile> file = ReadableFile::open(path, status);
    if (!file) {
        return {std::nullopt, reasonOf(IDS_IMAGE_UNREADABLE, language, {path, status.reason})};
    }
    const std::uint64_t size = file->size();
    if (size > maxImageLength) {
        return {std::nullopt, reasonOf(IDS_IMAGE_TOO_LARGE, language, {path, std::to_string(size)})};
    }
    if (size == 0 && !rules.allowEmpty) {
        return {std::nullopt, reasonOf(IDS_IMAGE_EMPTY, language, {path})};
    }
    FirmwareImage image{path, {}, {}};
    try {
        image.bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return {std::nullopt, reasonOf(IDS_REASON_IMAGE_NO_MEMORY, language, {path, std::to_string(size)})};
    }
    // A file still being copied is refused, never sent as a shorter image.
    if (status = file->readAll(image.bytes); !status.ok) {
        return {std::nullopt, reasonOf(IDS_IMAGE_UNREADABLE, language, {path, status.reason})};
    }
    if (!rules.allowAnyKind) {
        if (auto refusal = imageKindRefusal(image.bytes, path, language)) {
            return {std::nullopt, std::move(*refusal)};
        }
    }
    image.sha256 = hexDigest(sha256Of(image.bytes));
    if (keepOpen != nullptr) {
        *keepOpen = std::move(file);
    }
    return {std::move(image), {}};
}

} // namespace orvane
