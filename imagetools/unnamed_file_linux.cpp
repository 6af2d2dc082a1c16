// O_TMPFILE and linkat: the file stays unnamed until linkat gives it one.
#include "imagetools/unnamed_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orvane {

int openUnnamedFile(const std::string& folder) {
    // 0666 like any new file: the process's umask decides, as for a plain create.
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // Kernels and file systems without O_TMPFILE answer one of these instead.
    if (fd < 0 && (errno == EISDIR || errno == EINVAL)) {
        errno = EOPNOTSUPP;
    }
    return fd;
}

int nameUnnamedFile(int fd, const std::string& path) {
    // AT_EMPTY_PATH needs a privilege; the /proc route works for anyone where /proc is mounted.
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
        return 0;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    return errno;
}

} // namespace orvane
