// How the receiver turns reads into flags, losses included: the camera's firmware and the
// job's time limits were made for exactly this behaviour.
#include "upgrade/frames.h"
#include "upgrade/reply_assembly.h"

#include <gtest/gtest.h>
#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Reads = std::vector<Bytes>;

// Flags as a plain tuple: enterAcknowledged, blockReply, headerRequested, deviceAborted.
using Flags = std::array<std::uint8_t, 4>;

Flags flagsAfter(const Reads& reads, Flags before = {}) {
    ReplyFlags flags;
    store(flags.enterAcknowledged, before[0]);
    store(flags.blockReply, before[1]);
    store(flags.headerRequested, before[2]);
    store(flags.deviceAborted, before[3]);
    ReplyAssembly assembly;
    for (const Bytes& read : reads) {
        receiveBytes(assembly, read, flags);
    }
    return {load(flags.enterAcknowledged), load(flags.blockReply), load(flags.headerRequested),
            load(flags.deviceAborted)};
}

struct Case {
    const char* name;
    Reads reads;
    Flags expected;
    Flags before{};
};

class Assembly : public testing::TestWithParam<Case> {};

TEST_P(Assembly, RaisesExactlyTheExpectedFlags) {
    EXPECT_EQ(flagsAfter(GetParam().reads, GetParam().before), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ReplyReceiver, Assembly,
    testing::Values(
        Case{"EnterAck", {{0xA5, 0xF6, 0x00, 0x53, 0xAF}}, {1, 0, 0, 0}},
        Case{"NoiseInFrontIsDropped", {{0x00, 0xFF, 0xA5, 0xFB, 0x01, 0x5F, 0xAF}}, {0, 1, 0, 0}},
        Case{"BlockNakOverwritesAnUnconsumedAck",
             {{0xA5, 0xFB, 0x00, 0x5E, 0xAF}},
             {0, 2, 0, 0},
             {0, 1, 0, 0}},
        Case{"HeaderRequest", {{0xA5, 0xF7, 0x00, 0x52, 0xAF}}, {0, 0, 1, 0}},
        Case{"Abort", {{0xA5, 0xF9, 0x00, 0x5C, 0xAF}}, {0, 0, 0, 1}},
        Case{"SecondReplyInTheSameReadIsLost",
             {{0xA5, 0xFB, 0x01, 0x5F, 0xAF, 0xA5, 0xF7, 0x00, 0x52, 0xAF}},
             {0, 1, 0, 0}},
        Case{"SplitAfterTwoBytes", {{0xA5, 0xFB}, {0x01, 0x5F, 0xAF}}, {0, 1, 0, 0}},
        Case{"LastByteAlone", {{0xA5, 0xF7, 0x00, 0x52}, {0xAF}}, {0, 0, 1, 0}},
        Case{"ExtraBytesAfterTheFifthOfAContinuedFrameAreDropped",
             {{0xA5, 0xF7}, {0x00, 0x52, 0xAF, 0xA5, 0xF6, 0x00, 0x53, 0xAF}},
             {0, 0, 1, 0}},
        Case{"EndFrameRaisesNothingAndTheNextReplyCounts",
             {{0xA5, 0xFA, 0x00, 0x5F, 0xAF}, {0xA5, 0xF6, 0x00, 0x53, 0xAF}},
             {1, 0, 0, 0}},
        Case{"WrongCheckByteRaisesNothingAndTheNextReplyCounts",
             {{0xA5, 0xFB, 0x01, 0x5E, 0xAF}, {0xA5, 0xFB, 0x00, 0x5E, 0xAF}},
             {0, 2, 0, 0}},
        Case{"StrayStartByteSwallowsTheReply", {{0xA5, 0xA5, 0xF6, 0x00, 0x53, 0xAF}}, {0, 0, 0, 0}},
        Case{"StrayStartByteInAnEarlierRead", {{0x11, 0xA5}, {0xA5, 0xF6, 0x00, 0x53, 0xAF}}, {0, 0, 0, 0}},
        Case{"StartedFrameWaitsAcrossEmptyReads",
             {{0xA5, 0xF9}, {}, {}, {}, {0x00, 0x5C, 0xAF}},
             {0, 0, 0, 1}},
        Case{"ReadsWithoutStartByteAreDropped", {{0x00, 0x5C, 0xAF}, {0xF6, 0x00, 0x53, 0xAF}}, {0, 0, 0, 0}},
        Case{"NothingIsEverCleared", {{0xA5, 0x00, 0x00, 0x00, 0x00}}, {1, 2, 1, 1}, {1, 2, 1, 1}}),
    [](const auto& param) { return std::string(param.param.name); });

// Every reply, cut at every place into two reads and delivered byte by byte, counts once.
TEST(ReplyReceiver, EveryChunkingOfEveryReplyCounts) {
    const std::array<std::pair<ShortFrame, Flags>, 5> replies{{{enterAckReply, {1, 0, 0, 0}},
                                                               {blockAckReply, {0, 1, 0, 0}},
                                                               {blockNakReply, {0, 2, 0, 0}},
                                                               {headerRequestReply, {0, 0, 1, 0}},
                                                               {abortReply, {0, 0, 0, 1}}}};
    for (const auto& [reply, expected] : replies) {
        const Bytes bytes(reply.begin(), reply.end());
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            const Reads reads{Bytes{0x42}, Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cut)),
                              Bytes(bytes.begin() + static_cast<long>(cut), bytes.end())};
            EXPECT_EQ(flagsAfter(reads), expected) << "cut at " << cut;
        }
        Reads single;
        for (std::uint8_t b : bytes) {
            single.push_back({b});
        }
        EXPECT_EQ(flagsAfter(single), expected);
    }
}

TEST(MatchBytes, ComparesCountPositions) {
    const Bytes a{1, 2, 3, 4, 5};
    const Bytes b{1, 2, 3, 9, 5};
    EXPECT_TRUE(matchBytes(a, b, 0));
    EXPECT_TRUE(matchBytes(a, b, 3));
    EXPECT_FALSE(matchBytes(a, b, 4));
    EXPECT_FALSE(matchBytes(a, b, 5));
    EXPECT_TRUE(matchBytes(a, a, 5));
    EXPECT_FALSE(matchBytes(a, a, 6)) << "a position past the end is a difference, never a read";
}

} // namespace
} // namespace orvane
