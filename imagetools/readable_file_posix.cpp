// POSIX reading of whole input files.
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
    return ReadableFile(fd, static_cast<std::uint64_t>(info.st_size), modifiedNsOf(info));
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : fd_(other.fd_), size_(other.size_), modifiedNs_(other.modifiedNs_) {
    other.fd_ = -1;
}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.fd_;
        size_ = other.size_;
        modifiedNs_ = other.modifiedNs_;
        other.fd_ = -1;
    }
    return *this;
}

ReadableFile::~ReadableFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileStatus ReadableFile::readAll(std::span<std::uint8_t> into) {
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t got = ::read(fd_, into.data() + done, into.size() - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return FileStatus::fromErrno(errno);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    // One byte more tells a file that grew since it was opened.
    std::uint8_t extra = 0;
    ssize_t more = 0;
    do {
        more = ::read(fd_, &extra, 1);
    } while (more < 0 && errno == EINTR);
    if (done != into.size()) {
        return FileStatus::failure("the file changed while it was read: " + std::to_string(done) +
                                   " of its " + std::to_string(into.size()) + " bytes arrived");
    }
    if (more > 0) {
        return FileStatus::failure("the file changed while it was read: it grew beyond its " +
                                   std::to_string(into.size()) + " bytes");
    }
    // A writer that rewrote bytes in place, or paused its copy just as the read reached the
    // end, shows in the file's size or time.
    struct stat after {};
    if (::fstat(fd_, &after) == 0 &&
        (static_cast<std::uint64_t>(after.st_size) != size_ || modifiedNsOf(after) != modifiedNs_)) {
        return FileStatus::failure("the file changed while it was read: it is still being written");
    }
    return FileStatus::success();
}

} // namespace orvane
