// The demo's temporary image file on POSIX: mkstemp in $TMPDIR or /tmp.
#include "cli/sample_image.h"
#include "platform/error_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace orvane {

std::optional<TemporaryFile> TemporaryFile::create(std::span<const std::uint8_t> bytes, std::string& error) {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern =
        std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/orvane-demo-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        error = pattern + ": " + systemErrorText(errno);
        return std::nullopt;
    }
    TemporaryFile file(pattern);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = pattern + ": " + systemErrorText(errno);
            close(fd);
            return std::nullopt;
        }
        written += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0) {
        error = pattern + ": " + systemErrorText(errno);
        return std::nullopt;
    }
    return file;
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
}

TemporaryFile::~TemporaryFile() {
    if (!path_.empty()) {
        unlink(path_.c_str());
    }
}

} // namespace orvane
