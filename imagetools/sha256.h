// SHA-256 from the system's own cryptography (libcrypto on Linux, BCrypt on Windows): the
// demo and the virtual camera prove that the camera holds exactly the image it was sent by
// printing the digest of both.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace orvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

// An incremental digest. Throws std::runtime_error when the system's SHA-256 refuses to work
// (a broken installation); nothing else fails.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::span<const std::uint8_t> bytes);
    // The digest of everything fed so far; the object is spent afterwards.
    Sha256Digest finish();

  private:
    struct State; // the system's hash object
    std::unique_ptr<State> state_;
};

Sha256Digest sha256Of(std::span<const std::uint8_t> bytes);

// Lower-case hexadecimal, 64 characters.
std::string hexDigest(const Sha256Digest& digest);

} // namespace orvane
