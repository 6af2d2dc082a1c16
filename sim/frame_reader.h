// Splits the byte stream a host sends into frames. Pure: bytes and arrival times in,
// frames out, no I/O, so any chunking and any garbage can be tested without a terminal.
//
// A frame begins with 0xA5 (upgrade frames), 0xA0 (the EnterUpgradeCommand) or 0xFF
// (Pelco-D). A candidate whose fixed bytes or check byte do not fit gives up its first
// byte as unrecognised and the search resumes at the next byte, so the reader finds its
// way back onto frame boundaries after noise. DataBlocks are the exception: their data may
// hold any byte, so all 1030 are taken and a damaged block is handed on (to be refused)
// rather than searched for frames. A frame left unfinished for longer than the gap is
// given up the same way (a cut-off DataBlock is handed on damaged).
#pragma once

#include "sim/host_frame.h"

#include <optional>
#include <span>

namespace orvane {

class FrameReader {
  public:
    explicit FrameReader(std::chrono::milliseconds gap = std::chrono::milliseconds{200});

    // Appends to out every frame the bytes complete, in order, and runs of bytes that
    // belong to no frame as Unrecognised.
    void feed(std::span<const std::uint8_t> bytes, SimTime now, std::vector<HostFrame>& out);
    // Gives up an unfinished frame whose last byte came more than the gap before now.
    void expire(SimTime now, std::vector<HostFrame>& out);
    // When expire next has work, if an unfinished frame waits.
    std::optional<SimTime> deadline() const;
    // Forgets everything held (a new device).
    void reset();

  private:
    void scan(SimTime now, bool giveUp, std::vector<HostFrame>& out);

    std::chrono::milliseconds gap_;
    std::vector<std::uint8_t> pending_;
    SimTime lastByte_{};
};

} // namespace orvane
