// The parts of SHA-256 that are the same on every system: the one-call digest and its text.
#include "imagetools/sha256.h"

namespace orvane {

Sha256Digest sha256Of(std::span<const std::uint8_t> bytes) {
    Sha256 hash;
    hash.update(bytes);
    return hash.finish();
}

std::string hexDigest(const Sha256Digest& digest) {
    constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

} // namespace orvane
