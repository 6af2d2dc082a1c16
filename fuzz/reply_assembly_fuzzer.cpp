// Fuzzes the reply assembly with arbitrary bytes cut into arbitrary reads.
//
// Chunking may legitimately change what is recognised: a read drops every byte after the
// frame it completes, so two replies in one read give one flag and the same bytes in two
// reads give two. The properties checked are therefore the ones the assembly rules promise:
//  - every read gives exactly what an independent model of the rules gives (frame
//    completed or not, its five bytes, the reply recognised, the bytes still pending);
//  - a reply is only ever recognised for its exact five-byte pattern, found in the stream
//    at the position of the 0xA5 that started the frame;
//  - the first frame is the same however the bytes are cut, so the first reply of any
//    chunking is what the same bytes in one read give, and chunking only adds later ones;
//  - the flags raised are exactly the replies recognised, and never drop back to 0.
#include "upgrade/frames.h"
#include "upgrade/reply_assembly.h"
#include "upgrade/reply_flags.h"
#include "upgrade/reply_receiver.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <span>
#include <vector>

namespace {

using orvane::Reply;
using orvane::ShortFrame;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "reply assembly property broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) {
        fail(what);
    }
}

// The reply patterns in the order of comparison, written out here rather than taken from
// the code under test.
struct Pattern {
    std::array<std::uint8_t, 5> bytes;
    Reply reply;
};
constexpr std::array<Pattern, 5> patterns{{
    {{0xA5, 0xF6, 0x00, 0x53, 0xAF}, Reply::EnterAck},
    {{0xA5, 0xFB, 0x01, 0x5F, 0xAF}, Reply::BlockAck},
    {{0xA5, 0xFB, 0x00, 0x5E, 0xAF}, Reply::BlockNak},
    {{0xA5, 0xF7, 0x00, 0x52, 0xAF}, Reply::HeaderRequest},
    {{0xA5, 0xF9, 0x00, 0x5C, 0xAF}, Reply::Abort},
}};

Reply replyOf(std::span<const std::uint8_t> frame) {
    for (const Pattern& pattern : patterns) {
        if (std::equal(pattern.bytes.begin(), pattern.bytes.end(), frame.begin(), frame.end())) {
            return pattern.reply;
        }
    }
    return Reply::None;
}

const std::array<std::uint8_t, 5>* patternOf(Reply reply) {
    for (const Pattern& pattern : patterns) {
        if (pattern.reply == reply) {
            return &pattern.bytes;
        }
    }
    return nullptr;
}

struct ModelFrame {
    std::vector<std::uint8_t> bytes;
    std::size_t streamOffset = 0; // where its 0xA5 lies in the whole stream
    Reply reply = Reply::None;
};

// The assembly rules, restated independently: look for 0xA5, take it and what follows up
// to five bytes, continue a started frame from the first byte of the next non-empty read,
// drop whatever a read holds after the fifth byte.
class Model {
  public:
    std::optional<ModelFrame> read(std::span<const std::uint8_t> bytes, std::size_t streamOffset) {
        std::size_t i = 0;
        if (pending_.empty()) {
            while (i < bytes.size() && bytes[i] != 0xA5) {
                ++i;
            }
            if (i == bytes.size()) {
                return std::nullopt;
            }
            start_ = streamOffset + i;
        }
        for (; i < bytes.size() && pending_.size() < 5; ++i) {
            pending_.push_back(bytes[i]);
        }
        if (pending_.size() < 5) {
            return std::nullopt;
        }
        ModelFrame frame{pending_, start_, replyOf(pending_)};
        pending_.clear();
        return frame;
    }
    const std::vector<std::uint8_t>& pending() const { return pending_; }

  private:
    std::vector<std::uint8_t> pending_;
    std::size_t start_ = 0;
};

struct FlagValues {
    std::uint8_t enter = 0, block = 0, header = 0, aborted = 0;
};

FlagValues valuesOf(const orvane::ReplyFlags& flags) {
    return {orvane::load(flags.enterAcknowledged), orvane::load(flags.blockReply),
            orvane::load(flags.headerRequested), orvane::load(flags.deviceAborted)};
}

void expectRaised(FlagValues& expected, Reply reply) {
    switch (reply) {
    case Reply::EnterAck:
        expected.enter = 1;
        break;
    case Reply::BlockAck:
        expected.block = 1;
        break;
    case Reply::BlockNak:
        expected.block = 2;
        break;
    case Reply::HeaderRequest:
        expected.header = 1;
        break;
    case Reply::Abort:
        expected.aborted = 1;
        break;
    case Reply::None:
        break;
    }
}

bool sameFlags(const FlagValues& a, const FlagValues& b) {
    return a.enter == b.enter && a.block == b.block && a.header == b.header && a.aborted == b.aborted;
}

// matchBytes against its definition: equal over count positions, a missing position differs.
void checkMatchBytes(FuzzedDataProvider& data) {
    const auto count = data.ConsumeIntegral<std::uint8_t>();
    const auto first = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange<std::size_t>(0, 8));
    const auto second = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange<std::size_t>(0, 8));
    bool expected = true;
    for (std::size_t i = 0; i < count; ++i) {
        if (i >= first.size() || i >= second.size() || first[i] != second[i]) {
            expected = false;
            break;
        }
    }
    check(orvane::matchBytes(first, second, count) == expected, "matchBytes disagrees with its definition");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    FuzzedDataProvider data(input, size);
    checkMatchBytes(data);

    // Cut the rest into reads of 0 to 128 bytes (the receiver's buffer), empty reads included.
    std::vector<std::vector<std::uint8_t>> reads;
    std::vector<std::uint8_t> stream;
    while (data.remaining_bytes() > 0 && reads.size() < 4096) {
        const auto length = data.ConsumeIntegralInRange<std::size_t>(0, orvane::replyReadSize);
        reads.push_back(data.ConsumeBytes<std::uint8_t>(length));
        stream.insert(stream.end(), reads.back().begin(), reads.back().end());
    }

    orvane::ReplyAssembly assembly;     // driven step by step, to look inside
    orvane::ReplyAssembly receiverSide; // driven as the receiver does, with flags
    orvane::ReplyFlags flags;
    FlagValues expectedFlags;
    Model model;
    std::optional<ModelFrame> firstFrame;
    std::size_t offset = 0;

    for (const auto& bytes : reads) {
        orvane::assembleReply(assembly, bytes);
        const bool complete = assembly.frameComplete;
        const ShortFrame frame = assembly.replyFrame;
        const Reply reply = orvane::takeReply(assembly);
        const std::optional<ModelFrame> expected = model.read(bytes, offset);

        check(complete == expected.has_value(), "frame completion differs from the rules");
        if (expected) {
            check(std::equal(frame.begin(), frame.end(), expected->bytes.begin(), expected->bytes.end()),
                  "completed frame holds other bytes than the rules give");
            check(reply == expected->reply, "reply differs from the rules");
            if (!firstFrame) {
                firstFrame = expected;
            }
        } else {
            check(reply == Reply::None, "a reply without a completed frame");
        }
        if (reply != Reply::None) {
            const auto* pattern = patternOf(reply);
            check(pattern != nullptr, "unknown reply value");
            check(expected->streamOffset + 5 <= stream.size() &&
                      std::equal(pattern->begin(), pattern->end(),
                                 stream.begin() + static_cast<std::ptrdiff_t>(expected->streamOffset)),
                  "reply recognised without its exact pattern in the stream");
        }
        check(!assembly.frameComplete && assembly.count == model.pending().size(),
              "assembly state after a pass differs from the rules");
        check(std::equal(model.pending().begin(), model.pending().end(), assembly.replyFrame.begin()),
              "pending frame bytes differ from the rules");

        const Reply received = orvane::receiveBytes(receiverSide, bytes, flags);
        check(received == reply, "receiveBytes and assemble/take disagree");
        expectRaised(expectedFlags, received);
        check(sameFlags(valuesOf(flags), expectedFlags), "flags differ from the replies recognised");
        offset += bytes.size();
    }

    // The same bytes in one read: at most one frame, and it is the first frame of any chunking.
    orvane::ReplyAssembly whole;
    orvane::assembleReply(whole, stream);
    const bool wholeComplete = whole.frameComplete;
    const Reply wholeReply = orvane::takeReply(whole);
    check(wholeComplete == firstFrame.has_value(), "one read completes a frame iff any chunking does");
    check(wholeReply == (firstFrame ? firstFrame->reply : Reply::None),
          "first reply of a chunking differs from the same bytes in one read");
    return 0;
}
