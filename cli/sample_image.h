// The demo's firmware image: deterministic bytes, so every run sends (and hashes) the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane {

inline constexpr std::size_t defaultSampleImageSize = 32 * 1024;

// size bytes from a fixed-seed generator: every byte value occurs, 0xA5 and 0x1A included,
// as they do in real firmware.
std::vector<std::uint8_t> makeSampleImage(std::size_t size);

// A file in the temporary folder, removed when the object goes.
class TemporaryFile {
  public:
    // Creates it with bytes; nullopt (and the reason in error) when that fails.
    static std::optional<TemporaryFile> create(std::span<const std::uint8_t> bytes, std::string& error);
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    const std::string& path() const { return path_; }

  private:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

} // namespace orvane
