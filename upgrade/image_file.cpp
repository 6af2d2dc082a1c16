#include "upgrade/image_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "ui/strings/string_table.h"

namespace orvane {

std::string reasonOf(int error) {
    if (error == 0) {
        return "the system gave no reason";
    }
    return std::generic_category().message(error);
}

std::variant<LoadedImage, ImageLoadFailure> loadImage(const std::string& path, std::uint64_t maxLength) {
    errno = 0;
    LoadedImage image;
    image.file.reset(std::fopen(path.c_str(), "rb"));
    if (!image.file) {
        return ImageLoadFailure{fillText(loadText(IDS_IMAGE_UNREADABLE), {path, reasonOf(errno)})};
    }
    std::error_code error;
    const std::uintmax_t length = std::filesystem::file_size(path, error);
    if (error) {
        return ImageLoadFailure{fillText(loadText(IDS_IMAGE_UNREADABLE), {path, error.message()})};
    }
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
