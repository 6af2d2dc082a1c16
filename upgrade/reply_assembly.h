// Picks the camera's five-byte replies out of whatever pieces the port delivers. Pure: bytes
// in, reply out, so the rules (and their known losses) can be tested and fuzzed without a
// thread or a port. The reply receiver feeds it one read at a time.
#pragma once

#include "upgrade/frames.h"
#include "upgrade/reply_flags.h"

#include <cstdint>
#include <span>

namespace orvane {

enum class Reply : std::uint8_t { None, EnterAck, BlockAck, BlockNak, HeaderRequest, Abort };

// True when the first count positions of both sequences are equal; a count of 0 is true.
// A position that one of the sequences does not have counts as a difference.
bool matchBytes(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second,
                std::uint8_t count);

// The frame being assembled. count 0: looking for 0xA5; 1 to 4: a frame has started and
// waits for more bytes, across any number of empty reads; 5 only with frameComplete.
struct ReplyAssembly {
    ShortFrame replyFrame{};
    std::uint8_t count = 0;
    bool frameComplete = false;
};

// Takes one read's bytes. Without a started frame, bytes before the first 0xA5 are dropped
// and the 0xA5 starts one; the following bytes, whatever they are (another 0xA5 too), fill
// it. Bytes after the fifth are dropped, so a second reply in the same read is lost.
void assembleReply(ReplyAssembly& assembly, std::span<const std::uint8_t> bytes);

// When a frame is complete: compares it with the replies (EnterAck, BlockAck, BlockNak,
// HeaderRequest, AbortFrame, first equal wins), zeroes it and starts looking for 0xA5 again.
// Answers the reply recognised, None when no frame was complete or it matched nothing.
Reply takeReply(ReplyAssembly& assembly);

// A recognised reply's one effect: its member raised to 1 (BlockNak: blockReply to 2).
// Nothing ever goes back to 0 here.
void raiseFlag(ReplyFlags& flags, Reply reply);

// One receiver pass after a read of bytes (empty for a read that brought nothing).
Reply receiveBytes(ReplyAssembly& assembly, std::span<const std::uint8_t> bytes, ReplyFlags& flags);

} // namespace orvane
