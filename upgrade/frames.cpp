#include "upgrade/frames.h"

#include <algorithm>

namespace orvane {
namespace {

struct TargetCodes {
    std::uint8_t enter;
    std::uint8_t start;
};

// The Special target enters the boot loader like the main board but starts with a code of its own.
constexpr TargetCodes codesOf(UpgradeTarget target) {
    switch (target) {
    case UpgradeTarget::MotorBoard:
        return {0x55, 0x55};
    case UpgradeTarget::Special:
        return {0xAA, 0xA9};
    case UpgradeTarget::MainBoard:
        break;
    }
    return {0xAA, 0xAA};
}

std::uint8_t xorOf(std::span<const std::uint8_t> bytes) {
    std::uint8_t check = 0;
    for (std::uint8_t b : bytes) {
        check ^= b;
    }
    return check;
}

} // namespace

EnterUpgradeCommand makeEnterUpgradeCommand(std::uint8_t address, UpgradeTarget target) {
    EnterUpgradeCommand frame{0xA0, address, 0x00, 0x57, codesOf(target).enter, 0x00, 0xAF, 0x00};
    // Pelco-P: the check byte covers everything before it, start and end bytes included.
    frame[7] = xorOf(std::span(frame).first(7));
    return frame;
}

ShortFrame makeStartCommand(UpgradeTarget target) {
    ShortFrame frame{frameStart, 0xF6, codesOf(target).start, 0x00, frameEnd};
    frame[3] = xorOf(std::span(frame).first(3));
    return frame;
}

std::uint16_t blockCountOf(std::uint32_t length) {
    return static_cast<std::uint16_t>(length / blockDataSize + 1);
}

SizeHeader makeSizeHeader(std::uint32_t length) {
    const std::uint16_t count = blockCountOf(length);
    SizeHeader frame{frameStart,
                     0xF7,
                     static_cast<std::uint8_t>(count >> 8),
                     static_cast<std::uint8_t>(count),
                     static_cast<std::uint8_t>(length >> 24),
                     static_cast<std::uint8_t>(length >> 16),
                     static_cast<std::uint8_t>(length >> 8),
                     static_cast<std::uint8_t>(length),
                     0x0A,
                     0x00,
                     frameEnd};
    frame[9] = xorOf(std::span(frame).first(9));
    return frame;
}

DataBlock makeDataBlock(std::span<const std::uint8_t> image, std::uint32_t offset,
                        std::uint32_t blockNumber) {
    DataBlock block{};
    block[0] = frameStart;
    block[1] = 0xF8;
    block[2] = static_cast<std::uint8_t>(blockNumber >> 8);
    block[3] = static_cast<std::uint8_t>(blockNumber);
    const auto data = std::span(block).subspan(4, blockDataSize);
    const std::size_t available = offset < image.size() ? image.size() - offset : 0;
    const std::size_t taken = std::min(available, blockDataSize);
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset < image.size() ? offset : 0), taken,
                data.begin());
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(taken), data.end(), blockFiller);
    block[4 + blockDataSize] = xorChecksum(block, 4 + blockDataSize);
    block[5 + blockDataSize] = frameEnd;
    return block;
}

std::uint8_t xorChecksum(std::span<const std::uint8_t> bytes, std::uint32_t count) {
    const auto m = static_cast<std::int16_t>(static_cast<std::uint16_t>(count - 1));
    if (m < 0) {
        return 0;
    }
    const std::size_t covered = std::min<std::size_t>(static_cast<std::size_t>(m) + 1, bytes.size());
    return xorOf(bytes.first(covered));
}

} // namespace orvane
