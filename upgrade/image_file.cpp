#include "upgrade/image_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "text/string_table.h"

namespace orvane {

std::string reasonOf(int error) {
    if (error == 0) {
        return "the system gave no reason";
    }
    return std::generic_category().message(error);
}

std::variant<LoadedImage, ImageLoadFailure> loadImage(const std::string& path, std::uint64_t maxLength) {
    const auto unreadable = [&path](const std::string& reason) {
        return ImageLoadFailure{fillText(loadText(IDS_IMAGE_UNREADABLE), {path, reason})};
    };
    // Non-blocking so that a FIFO or a device picked by mistake cannot hang the job before it
    // has sent anything; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return unreadable(reasonOf(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return unreadable(reasonOf(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return unreadable(S_ISDIR(info.st_mode) ? reasonOf(EISDIR) : std::string("not a regular file"));
    }
    LoadedImage image;
    image.file.reset(::fdopen(fd, "rb"));
    if (!image.file) {
        const int error = errno;
        ::close(fd);
        return unreadable(reasonOf(error));
    }
    const auto length = static_cast<std::uintmax_t>(info.st_size);
    if (length > maxLength) {
        return ImageLoadFailure{fillText(loadText(IDS_IMAGE_TOO_LARGE), {path, std::to_string(length)})};
    }
    image.bytes.resize(static_cast<std::size_t>(length));
    std::size_t got = 0;
    while (got < image.bytes.size()) {
        const std::size_t n = std::fread(image.bytes.data() + got, 1, image.bytes.size() - got, image.file.get());
        if (n == 0) {
            break;
        }
        got += n;
    }
    if (got < image.bytes.size()) {
        return ImageLoadFailure{fillText(loadText(IDS_IMAGE_SHORT_READ),
                                         {path, std::to_string(got), std::to_string(image.bytes.size())})};
    }
    return image;
}

} // namespace orvane
