// Reads an input file whole, in the length it had when it was opened: the one reader of the
// upgrade job, the HEX merge and the packager. A read that delivers fewer bytes, a file that
// grows meanwhile or one whose size or modification time moved while it was read (a download
// or copy still under way) is an error, never a shorter image.
#pragma once

#include "imagetools/file_identity.h"
#include "imagetools/file_status.h"

#include <cstdint>
#include <functional>
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
    // The file opened, to tell it from an output that would replace it.
    FileIdentity identity() const { return identity_; }

    // Reads the whole file into into, which must be size() bytes long.
    FileStatus readAll(std::span<std::uint8_t> into);

    // Reads the whole file through buffer, handing take each piece in order: buffer-sized
    // pieces, the last one shorter. A failure take answers ends the read and is answered
    // as it is; a short, growing or changing file answers the reasons readAll gives, after
    // take may have had some pieces.
    using PieceTaker = std::function<FileStatus(std::span<const std::uint8_t> piece)>;
    FileStatus readInPieces(std::span<std::uint8_t> buffer, const PieceTaker& take);

  private:
    ReadableFile(int fd, std::uint64_t size, std::int64_t modified, FileIdentity identity)
        : fd_(fd), size_(size), modified_(modified), identity_(identity) {}

    // The platform's halves: one read call (got 0 at the end of the file), and whether the
    // file's size or modification time differ from those it had when opened.
    FileStatus readSome(std::span<std::uint8_t> into, std::size_t& got);
    bool changedSinceOpen() const;

    // Reads until into is full or the file ends.
    FileStatus fill(std::span<std::uint8_t> into, std::size_t& done);
    // The verdict once done of the expected bytes have arrived.
    FileStatus finish(std::uint64_t done, std::uint64_t expected);

    int fd_ = -1; // a descriptor, or on Windows a handle's value
    std::uint64_t size_ = 0;
    std::int64_t modified_ = 0; // modification time when opened, in the platform's units
    FileIdentity identity_;
};

} // namespace orvane
