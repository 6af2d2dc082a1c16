// The station's image: read once as the shift starts, so that every camera gets the same
// bytes whatever later happens to the file, and its SHA-256 said and recorded with each.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct StationImage {
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::string sha256; // lower-case hexadecimal
};

// The image read whole, or nullopt with why not in error (unreadable, empty, too large).
std::optional<StationImage> loadStationImage(const std::string& path, std::string& error);

// Notices, once, that the file on disk is no longer what was read (its size or time moved, or
// it went away): the station goes on sending what it read and says so.
class ImageChangeWatch {
  public:
    explicit ImageChangeWatch(std::string path);
    // True the first time the file is seen changed, false before and ever after.
    bool changedNow();

  private:
    struct Stamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time{};
        bool operator==(const Stamp&) const = default;
    };
    static std::optional<Stamp> stampOf(const std::string& path);

    std::string path_;
    std::optional<Stamp> first_;
    bool told_ = false;
};

} // namespace orvane
