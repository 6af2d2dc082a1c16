// POSIX reading of whole input files: the descriptor's half of ReadableFile.
#include "imagetools/readable_file.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

std::int64_t modifiedNsOf(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

} // namespace

std::optional<ReadableFile> ReadableFile::open(const std::string& path, FileStatus& status) {
    // Non-blocking so that a FIFO or a device picked by mistake cannot hang the open; only
    // regular files get past the check below, where the flag makes no difference.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        status = FileStatus::fromErrno(errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        status = FileStatus::fromErrno(errno);
        ::close(fd);
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode)) {
        status = FileStatus::fromErrno(EISDIR);
        ::close(fd);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        status = FileStatus::failure("not a regular file");
        ::close(fd);
        return std::nullopt;
    }
    status = FileStatus::success();
    const FileIdentity identity{static_cast<std::uint64_t>(info.st_dev),
                                static_cast<std::uint64_t>(info.st_ino)};
    return ReadableFile(fd, static_cast<std::uint64_t>(info.st_size), modifiedNsOf(info), identity);
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : fd_(other.fd_), size_(other.size_), modified_(other.modified_), identity_(other.identity_) {
    other.fd_ = -1;
}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        size_ = other.size_;
        modified_ = other.modified_;
        identity_ = other.identity_;
        other.fd_ = -1;
    }
    return *this;
}

ReadableFile::~ReadableFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileStatus ReadableFile::readSome(std::span<std::uint8_t> into, std::size_t& got) {
    got = 0;
    for (;;) {
        const ssize_t read = ::read(fd_, into.data(), into.size());
        if (read >= 0) {
            got = static_cast<std::size_t>(read);
            return FileStatus::success();
        }
        if (errno != EINTR) {
            return FileStatus::fromErrno(errno);
        }
    }
}

bool ReadableFile::changedSinceOpen() const {
    struct stat after {};
    return ::fstat(fd_, &after) == 0 &&
           (static_cast<std::uint64_t>(after.st_size) != size_ || modifiedNsOf(after) != modified_);
}

} // namespace orvane
