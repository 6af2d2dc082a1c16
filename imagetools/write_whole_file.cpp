// Replace-by-rename on POSIX: write a temporary file beside the target, fsync, rename.
#include "imagetools/write_whole_file.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "imagetools/file_name.h"

namespace orvane {
namespace {

std::atomic<unsigned> temporaryCounter{0};

// Closes on scope exit unless released; removes the temporary file unless kept.
class TemporaryFile {
public:
    TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!kept_) {
            ::unlink(path_.c_str());
        }
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
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
int createTemporary(const std::string& folder, std::string& temporaryPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = folder + ".orvane-" + std::to_string(::getpid()) + "-" +
                        std::to_string(temporaryCounter.fetch_add(1)) + ".tmp";
        // 0666 like any new file: the process's umask decides, as for a plain create.
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
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

} // namespace

FileStatus WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (path.empty()) {
        return FileStatus::fromErrno(ENOENT);
    }
    std::string temporaryPath;
    const std::string folder = folderOf(path);
    const int fd = createTemporary(folder, temporaryPath);
    if (fd < 0) {
        return FileStatus::fromErrno(errno);
    }
    TemporaryFile temporary(fd, temporaryPath);

    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // Keeping the old file's permissions is a courtesy; failing to is no reason to stop.
        (void)::fchmod(temporary.fd(), existing.st_mode & 07777);
    }
    if (const int error = writeAll(temporary.fd(), bytes); error != 0) {
        return FileStatus::fromErrno(error);
    }
    if (::fsync(temporary.fd()) != 0) {
        return FileStatus::fromErrno(errno);
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
    if (const int folderFd = ::open(folderToSync.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
    return FileStatus::success();
}

} // namespace orvane
