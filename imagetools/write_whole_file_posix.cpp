// Replace-by-rename on POSIX: write a new file beside the target, fsync, rename it over the
// target. The new file stays unnamed while it is written where the file system allows it, so
// an interrupted write leaves nothing behind.
#include "imagetools/unnamed_file.h"
#include "imagetools/write_whole_file.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

std::atomic<unsigned> temporaryCounter{0};

// Closes on scope exit unless closed; removes the named temporary file unless kept.
class TemporaryFile {
  public:
    explicit TemporaryFile(int fd) : fd_(fd) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!path_.empty() && !kept_) {
            ::unlink(path_.c_str());
        }
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    // Closes the descriptor; answers 0 or the errno of a failed close (a late write error).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }
    void keep() { kept_ = true; }

  private:
    int fd_;
    std::string path_;
    bool kept_ = false;
};

// A name no other writer uses: the folder of the target, a dot, the process and a counter.
// Kept short so that a long target name still leaves room.
std::string temporaryName(const std::string& folder) {
    return folder + ".orvane-" + std::to_string(::getpid()) + "-" +
           std::to_string(temporaryCounter.fetch_add(1)) + ".tmp";
}

// Opens a named temporary file, for file systems without unnamed ones.
int createNamedTemporary(const std::string& folder, std::string& temporaryPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = temporaryName(folder);
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// Names the finished unnamed file; answers 0 or an errno.
int nameFinishedFile(TemporaryFile& temporary, const std::string& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryName(folder);
        const int error = nameUnnamedFile(temporary.fd(), name);
        if (error == 0) {
            temporary.setPath(std::move(name));
            return 0;
        }
        if (error != EEXIST) {
            return error;
        }
    }
    return EEXIST;
}

int writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

ByteWriter writerTo(int fd) {
    return [fd](std::span<const std::uint8_t> piece) {
        const int error = writeAll(fd, piece);
        return error == 0 ? FileStatus::success() : FileStatus::fromErrno(error);
    };
}

// Up to and including the last '/': where a relative link's target is looked up.
std::string folderPart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a chain of symbolic links ends at, which need not exist yet (a dangling link names
// the file to create). Replacing the link itself would cut it from what it points to.
FileStatus resolveLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return FileStatus::success();
        }
        std::string link(4096, '\0');
        const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
        if (length < 0) {
            return FileStatus::fromErrno(errno);
        }
        link.resize(static_cast<std::size_t>(length));
        target = link.starts_with('/') ? link : folderPart(target) + link;
    }
    return FileStatus::fromErrno(ELOOP);
}

// A FIFO or a character device (a pipe, a terminal, /dev/stdout) takes the bytes as they
// come; there is nothing to replace.
FileStatus writeStream(const std::string& path, const ByteProducer& produce) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return FileStatus::fromErrno(errno);
    }
    TemporaryFile stream(fd);
    if (FileStatus status = produce(writerTo(stream.fd())); !status.ok) {
        return status;
    }
    if (const int error = stream.close(); error != 0) {
        return FileStatus::fromErrno(error);
    }
    return FileStatus::success();
}

FileStatus replaceFile(const std::string& path, const ByteProducer& produce) {
    const std::string folder = folderPart(path);
    int fd = openUnnamedFile(folder);
    std::string namedPath;
    if (fd < 0 && errno == EOPNOTSUPP) {
        fd = createNamedTemporary(folder, namedPath);
    }
    if (fd < 0) {
        return FileStatus::fromErrno(errno);
    }
    TemporaryFile temporary(fd);
    temporary.setPath(std::move(namedPath));

    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // Keeping the old file's permissions is a courtesy; failing to is no reason to stop.
        (void)::fchmod(temporary.fd(), existing.st_mode & 07777);
    }
    if (FileStatus status = produce(writerTo(temporary.fd())); !status.ok) {
        return status;
    }
    if (::fsync(temporary.fd()) != 0) {
        return FileStatus::fromErrno(errno);
    }
    if (temporary.path().empty()) {
        if (const int error = nameFinishedFile(temporary, folder); error != 0) {
            return FileStatus::fromErrno(error);
        }
    }
    if (const int error = temporary.close(); error != 0) {
        return FileStatus::fromErrno(error);
    }
    if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
        return FileStatus::fromErrno(errno);
    }
    temporary.keep();

    // Make the rename itself durable. The file is in place already, so a folder that cannot
    // be synced (some file systems refuse) does not turn the write into a failure.
    const std::string folderToSync = folder.empty() ? std::string(".") : folder;
    if (const int folderFd = ::open(folderToSync.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
    return FileStatus::success();
}

} // namespace

FileStatus WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return writeWholeFileFrom(path, [bytes](const ByteWriter& write) { return write(bytes); });
}

FileStatus writeWholeFileFrom(const std::string& path, const ByteProducer& produce) {
    if (path.empty()) {
        return FileStatus::fromErrno(ENOENT);
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return FileStatus::fromErrno(EISDIR);
        }
        if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
            return writeStream(path, produce);
        }
        if (!S_ISREG(info.st_mode)) {
            return FileStatus::failure("not a regular file, a FIFO or a character device");
        }
    } else if (errno != ENOENT) {
        return FileStatus::fromErrno(errno);
    }
    std::string target;
    if (FileStatus status = resolveLinks(path, target); !status.ok) {
        return status;
    }
    return replaceFile(target, produce);
}

} // namespace orvane
