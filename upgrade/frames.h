// The frames of the camera's upgrade link, byte for byte, in both directions.
// Builders are pure: they return fresh fixed-size arrays and never touch a port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace orvane {

// Which board of the camera an upgrade addresses. The values travel nowhere themselves;
// they choose the code bytes of the EnterUpgradeCommand and the StartCommand.
enum class UpgradeTarget : std::uint8_t { MainBoard = 0, MotorBoard = 1, Special = 2 };

inline constexpr std::size_t blockDataSize = 1024;

using EnterUpgradeCommand = std::array<std::uint8_t, 8>;
using ShortFrame = std::array<std::uint8_t, 5>; // A5, command, argument, check, AF
using SizeHeader = std::array<std::uint8_t, 11>;
using DataBlock = std::array<std::uint8_t, 4 + blockDataSize + 2>;

inline constexpr std::uint8_t frameStart = 0xA5;
inline constexpr std::uint8_t frameEnd = 0xAF;
inline constexpr std::uint8_t blockFiller = 0x1A;

// Host to camera.
inline constexpr ShortFrame endFrame{0xA5, 0xFA, 0x00, 0x5F, 0xAF};
// Either direction: whoever gives the upgrade up sends it.
inline constexpr ShortFrame abortFrame{0xA5, 0xF9, 0x00, 0x5C, 0xAF};

// Camera to host: the only five replies the host recognises.
inline constexpr ShortFrame enterAckReply{0xA5, 0xF6, 0x00, 0x53, 0xAF};
inline constexpr ShortFrame headerRequestReply{0xA5, 0xF7, 0x00, 0x52, 0xAF};
inline constexpr ShortFrame blockAckReply{0xA5, 0xFB, 0x01, 0x5F, 0xAF};
inline constexpr ShortFrame blockNakReply{0xA5, 0xFB, 0x00, 0x5E, 0xAF};
inline constexpr ShortFrame abortReply = abortFrame;

// Pelco-P framed command that makes the running camera enter its boot loader.
EnterUpgradeCommand makeEnterUpgradeCommand(std::uint8_t address, UpgradeTarget target);

// A5 F6 <start code> <check> AF.
ShortFrame makeStartCommand(UpgradeTarget target);

// floor(length / 1024) + 1, low 16 bits. Announces one block more than follow when the
// length is a multiple of 1024; the camera expects the count in exactly this form.
std::uint16_t blockCountOf(std::uint32_t length);

// Announces the block count and the image length.
SizeHeader makeSizeHeader(std::uint32_t length);

// One block of the image: 1024 bytes from offset (0x1A filler past the image's end),
// numbered with the low 16 bits of blockNumber. offset must lie below image.size().
DataBlock makeDataBlock(std::span<const std::uint8_t> image, std::uint32_t offset, std::uint32_t blockNumber);

// XOR of the first count bytes. The count is taken as a 16-bit quantity: count - 1 is
// reduced to a signed 16-bit m, a negative m gives 0 without reading anything, otherwise
// m + 1 bytes are covered (so 0 and 32769..65536 give 0). Never reads past bytes.
std::uint8_t xorChecksum(std::span<const std::uint8_t> bytes, std::uint32_t count);

} // namespace orvane
