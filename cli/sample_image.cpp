#include "cli/sample_image.h"

namespace orvane {

std::vector<std::uint8_t> makeSampleImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    std::uint32_t state = 0x4F52564Eu; // xorshift32, fixed seed
    for (std::uint8_t& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

} // namespace orvane
