// SHA-256 (FIPS 180-4), small and dependency-free: the demo proves that the camera holds
// exactly the image it was sent by printing the digest of both.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace orvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
  public:
    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    // The digest of everything fed so far; the object is spent afterwards.
    Sha256Digest finish();

  private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

Sha256Digest sha256Of(std::span<const std::uint8_t> bytes);

// Lower-case hexadecimal, 64 characters.
std::string hexDigest(const Sha256Digest& digest);

} // namespace orvane
