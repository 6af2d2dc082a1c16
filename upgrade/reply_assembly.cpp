#include "upgrade/reply_assembly.h"

#include <algorithm>
#include <array>

namespace orvane {
namespace {

struct Reference {
    const ShortFrame* bytes;
    Reply reply;
};

// The order of comparison; the patterns differ from each other, so it only decides which
// test comes first.
constexpr std::array<Reference, 5> references{{
    {&enterAckReply, Reply::EnterAck},
    {&blockAckReply, Reply::BlockAck},
    {&blockNakReply, Reply::BlockNak},
    {&headerRequestReply, Reply::HeaderRequest},
    {&abortReply, Reply::Abort},
}};

} // namespace

bool matchBytes(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second,
                std::uint8_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i >= first.size() || i >= second.size() || first[i] != second[i]) {
            return false;
        }
    }
    return true;
}

void assembleReply(ReplyAssembly& assembly, std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || assembly.frameComplete) {
        return;
    }
    if (assembly.count == 0) {
        const auto start = std::find(bytes.begin(), bytes.end(), frameStart);
        if (start == bytes.end()) {
            return;
        }
        assembly.replyFrame[0] = frameStart;
        assembly.count = 1;
        bytes = bytes.subspan(static_cast<std::size_t>(start - bytes.begin()) + 1);
    }
    const std::size_t room = assembly.replyFrame.size() - assembly.count;
    const std::size_t taken = std::min(room, bytes.size());
    std::copy_n(bytes.begin(), taken, assembly.replyFrame.begin() + assembly.count);
    assembly.count = static_cast<std::uint8_t>(assembly.count + taken);
    if (assembly.count == assembly.replyFrame.size()) {
        assembly.frameComplete = true;
    }
}

Reply takeReply(ReplyAssembly& assembly) {
    if (!assembly.frameComplete) {
        return Reply::None;
    }
    assembly.frameComplete = false;
    assembly.count = 0;
    Reply found = Reply::None;
    for (const Reference& reference : references) {
        if (matchBytes(assembly.replyFrame, *reference.bytes, 5)) {
            found = reference.reply;
            break;
        }
    }
    assembly.replyFrame.fill(0);
    return found;
}

void raiseFlag(ReplyFlags& flags, Reply reply) {
    switch (reply) {
    case Reply::EnterAck:
        store(flags.enterAcknowledged, 1);
        break;
    case Reply::BlockAck:
        store(flags.blockReply, blockAccepted);
        break;
    case Reply::BlockNak:
        store(flags.blockReply, blockResend);
        break;
    case Reply::HeaderRequest:
        store(flags.headerRequested, 1);
        break;
    case Reply::Abort:
        store(flags.deviceAborted, 1);
        break;
    case Reply::None:
        break;
    }
}

Reply receiveBytes(ReplyAssembly& assembly, std::span<const std::uint8_t> bytes, ReplyFlags& flags) {
    assembleReply(assembly, bytes);
    const Reply reply = takeReply(assembly);
    raiseFlag(flags, reply);
    return reply;
}

} // namespace orvane
