#include "station/station_image.h"

#include "imagetools/readable_file.h"
#include "imagetools/sha256.h"
#include "upgrade/upgrade_job.h"

#include <system_error>

namespace orvane {

std::optional<StationImage> loadStationImage(const std::string& path, std::string& error) {
    FileStatus status;
    auto file = ReadableFile::open(path, status);
    if (!file) {
        error = "Cannot read the image " + path + ": " + status.reason;
        return std::nullopt;
    }
    // An empty image would "succeed" at upgrading every camera with nothing.
    if (file->size() == 0 || file->size() > maxImageLength) {
        error = "Image file " + path + " has " + std::to_string(file->size()) +
                " bytes: a station sends 1 to " + std::to_string(maxImageLength);
        return std::nullopt;
    }
    StationImage image{path, std::vector<std::uint8_t>(static_cast<std::size_t>(file->size())), {}};
    if (status = file->readAll(image.bytes); !status.ok) {
        error = "Cannot read the image " + path + ": " + status.reason;
        return std::nullopt;
    }
    image.sha256 = hexDigest(sha256Of(image.bytes));
    return image;
}

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
