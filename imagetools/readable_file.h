// Reads an input file whole, in the length it had when it was opened: the one reader of the
// upgrade job, the HEX merge and the packager. A read that delivers fewer bytes, a file that
// grows meanwhile or one whose size or modification time moved while it was read (a download
// or copy still under way) is an error, never a shorter image.
#pragma once

#include "imagetools/file_status.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvane {

class ReadableFile {
  public:
    // Opens a regular file for reading. A directory answers EISDIR, other non-regular files
    // (pipes, devices) a reason of their own: their length is not known in advance.
    static std::optional<ReadableFile> open(const std::string& path, FileStatus& status);

    ReadableFile(ReadableFile&& other) noexcept;
    ReadableFile& operator=(ReadableFile&& other) noexcept;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;
    ~ReadableFile();

    // The length when opened.
    std::uint64_t size() const { return size_; }

    // Reads the whole file into into, which must be size() bytes long.
    FileStatus readAll(std::span<std::uint8_t> into);

  private:
    ReadableFile(int fd, std::uint64_t size, std::int64_t modifiedNs)
        : fd_(fd), size_(size), modifiedNs_(modifiedNs) {}
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::int64_t modifiedNs_ = 0; // modification time when opened
};

} // namespace orvane
