#include "imagetools/file_sha256.h"

#include "imagetools/readable_file.h"
#include "imagetools/sha256.h"

#include <cstdint>
#include <vector>

namespace orvane {

std::optional<std::string> fileSha256(const std::string& path, FileStatus& status) {
    std::optional<ReadableFile> file = ReadableFile::open(path, status);
    if (!file) {
        return std::nullopt;
    }
    Sha256 hash;
    std::vector<std::uint8_t> buffer(64 * 1024);
    status = file->readInPieces(buffer, [&hash](std::span<const std::uint8_t> piece) {
        hash.update(piece);
        return FileStatus::success();
    });
    if (!status.ok) {
        return std::nullopt;
    }
    return hexDigest(hash.finish());
}

} // namespace orvane
