#include "station/station_image.h"

#include <system_error>

namespace orvane {

ImageChangeWatch::ImageChangeWatch(std::string path) : path_(std::move(path)), first_(stampOf(path_)) {}

bool ImageChangeWatch::changedNow() {
    if (told_) {
        return false;
    }
    told_ = stampOf(path_) != first_;
    return told_;
}

std::optional<ImageChangeWatch::Stamp> ImageChangeWatch::stampOf(const std::string& path) {
    std::error_code error;
    Stamp stamp{std::filesystem::file_size(path, error), {}};
    if (error) {
        return std::nullopt;
    }
    stamp.time = std::filesystem::last_write_time(path, error);
    if (error) {
        return std::nullopt;
    }
    return stamp;
}

} // namespace orvane
