// The station's image is read once as the shift starts, so that every camera gets the same
// bytes whatever later happens to the file; this watch says when the file moves on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orvane {

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
