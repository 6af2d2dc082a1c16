// What the virtual camera makes of the bytes a host sends it: whole frames it can place,
// and the bytes it cannot. Shared by the frame reader, the boot loader and the record.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

enum class HostFrameKind : std::uint8_t {
    EnterUpgrade, // A0 ... Pelco-P framed EnterUpgradeCommand
    Start,        // A5 F6
    Header,       // A5 F7, the SizeHeader
    Block,        // A5 F8, a DataBlock
    End,          // A5 FA
    Abort,        // A5 F9
    Ptz,          // FF ... Pelco-D
    Unrecognised, // bytes that belong to no frame
    Garbled,      // a frame sent while the host's line speed was not the camera's
};

struct HostFrame {
    HostFrameKind kind = HostFrameKind::Unrecognised;
    std::vector<std::uint8_t> bytes;
    SimTime time{}; // when its last byte arrived
    // SizeHeaders and DataBlocks are answered even when damaged (BlockNak), so they are
    // passed on with this cleared instead of being dropped: wrong check byte, wrong fixed
    // byte, or (DataBlocks) the wrong length.
    bool intact = true;
};

// A number a frame carries, most significant byte first (block numbers, lengths).
inline std::uint32_t bigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | bytes[at + i];
    }
    return value;
}

// "A5 F6 AA F9 AF". With a limit, longer runs end in " ... (1030 bytes)".
std::string hexOf(const std::vector<std::uint8_t>& bytes, std::size_t limit = 0);

// A technician's reading of one received frame: "DataBlock 3", "PTZ pan left, speed 30".
std::string meaningOf(const HostFrame& frame);

} // namespace orvane
