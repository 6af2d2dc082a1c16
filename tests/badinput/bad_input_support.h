// Helpers for feeding the tools inputs a technician should never have picked: scratch folders,
// special files (a pipe without a writer, a sparse giant, a folder that refuses new files even
// to root) and a watchdog, because a bad input must end in a message, never in a hang.
#pragma once

#include "support/files.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::badinput {

namespace fs = std::filesystem;

// The helpers every suite shares.
using test::readFile;
using test::TempFolder;
using test::writeFile;

// A file of the given length that takes no space (ftruncate of an empty file).
inline bool makeSparse(const std::string& path, std::uint64_t length) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::ftruncate(fd, static_cast<off_t>(length)) == 0;
    ::close(fd);
    return ok;
}

// The process's peak resident memory in KiB since the last resetPeakMemory (VmHWM), or its
// resident memory now (VmRSS); 0 when /proc cannot tell.
inline std::uint64_t memoryKib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stoull(line.substr(field.size() + 1));
    }
    return 0;
}

// Sets the peak back to the resident memory now; false where the kernel does not allow it.
inline bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// A named pipe nobody writes to: a plain open() for reading waits for a writer for ever.
class Fifo {
  public:
    explicit Fifo(std::string path) : path_(std::move(path)) { made_ = ::mkfifo(path_.c_str(), 0644) == 0; }
    ~Fifo() {
        release();
        ::unlink(path_.c_str());
    }
    bool made() const { return made_; }
    const std::string& path() const { return path_; }
    // Lets a reader that is stuck in open() go: a writer comes and leaves at once.
    void release() const {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }

  private:
    std::string path_;
    bool made_ = false;
};

// Runs work on a thread and answers whether it finished within limit. On a hang, unstick (if
// given) is called until the thread ends, so the test can report the hang and go on.
inline bool finishesWithin(std::chrono::milliseconds limit, const std::function<void()>& work,
                           const std::function<void()>& unstick = {}) {
    std::packaged_task<void()> task(work);
    auto done = task.get_future();
    std::thread runner(std::move(task));
    const bool inTime = done.wait_for(limit) == std::future_status::ready;
    while (unstick && done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        unstick();
    runner.join();
    return inTime;
}

// A folder in which no file can be created, renamed or removed, root included: the immutable
// attribute where the file system and our privileges allow it, else (not root) mode 0555.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const fs::path& folder) : folder_(folder) {
        if (::geteuid() != 0) {
            fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
            how_ = Mode;
            return;
        }
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0)
                how_ = Immutable;
        }
        ::close(fd);
    }
    ~ReadOnlyFolder() {
        if (how_ == Mode) {
            fs::permissions(folder_, fs::perms::owner_all);
        } else if (how_ == Immutable) {
            const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                (void)::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0)
                ::close(fd);
        }
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    // False when neither way works here (root on a file system without the attribute, or
    // without the capability to set it); the test then has nothing to stand on.
    bool active() const { return how_ != None; }

  private:
    enum How { None, Mode, Immutable };
    fs::path folder_;
    How how_ = None;
};

// A file whose size on record is larger than what a read delivers (sysfs attributes claim a
// page); stands in for a file that shrinks while it is read. Empty when none is found.
inline std::string fileShorterThanItsSize() {
    for (const char* path : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/kernel/profiling",
                             "/sys/power/state", "/sys/kernel/kexec_loaded"}) {
        struct stat info {};
        if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
            continue;
        std::ifstream in(path, std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.good() || in.eof()) {
            if (!content.empty() && static_cast<off_t>(content.size()) < info.st_size)
                return path;
        }
    }
    return {};
}

} // namespace orvane::badinput
