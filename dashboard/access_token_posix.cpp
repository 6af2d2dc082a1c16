#include "dashboard/private_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace orvane {

bool randomBytes(std::span<unsigned char> bytes, std::string& error) {
    if (getrandom(bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        error = std::string("no random bytes: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool writeNewPrivateFile(const std::string& path, const std::string& text, std::string& error) {
    // O_EXCL: an old token (or a link planted in its place) is never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = path + ": " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace orvane
