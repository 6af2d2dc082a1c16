// flock() keeps the lock with the open file description, so it lasts exactly as long as the
// descriptor and ends with the process however it ends.
#include "ui/qt/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

LockedLogFile::~LockedLogFile() {
    close();
}

bool LockedLogFile::open(const QString& path) {
    close();
    const QByteArray name = path.toLocal8Bit();
    // Without O_NONBLOCK a FIFO of that name would hold the start until someone reads it.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    // Truncating before the lock is ours would empty another instance's file.
    if (!regular || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void LockedLogFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace orvane
