// Reply faults byte for byte: what the host gets for each fault, alone and together, and
// the pieces it is written in.
#include "sim/reply_shaping.h"

#include <functional>
#include <gtest/gtest.h>

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ShapeCase {
    const char* name;
    ShortFrame reply;
    CameraStep step;
    std::uint32_t block;
    // How the case sets its faults; applied in the test, so the table holds no std::map (GCC 12
    // at -O2 gives a false may-be-uninitialized warning on tables of maps).
    std::function<void(CameraFaults&)> faults;
    std::optional<SpeedMismatch> mismatch;
    Bytes bytes;
    std::vector<std::size_t> pieces;
    const char* text;
};

std::function<void(CameraFaults&)> with(std::function<void(CameraFaults&)> set) {
    return set;
}

std::vector<ShapeCase> shapeCases() {
    return {
        {"Untouched",
         blockAckReply,
         CameraStep::Block,
         1,
         {},
         {},
         {0xA5, 0xFB, 0x01, 0x5F, 0xAF},
         {5},
         "BlockAck"},
        {"NoiseInFront",
         enterAckReply,
         CameraStep::Enter,
         0,
         with([](CameraFaults& f) { f.noiseBytes = 3; }),
         {},
         {0xE2, 0x8D, 0x1B, 0xA5, 0xF6, 0x00, 0x53, 0xAF},
         {8},
         "EnterAck after 3 noise bytes"},
        {"StrayStartAtItsStep",
         headerRequestReply,
         CameraStep::Start,
         0,
         with([](CameraFaults& f) { f.strayStartAt = StepRef{CameraStep::Start}; }),
         {},
         {0xA5, 0xA5, 0xF7, 0x00, 0x52, 0xAF},
         {6},
         "HeaderRequest after a stray 0xA5"},
        {"StrayStartNotAtOtherSteps",
         blockAckReply,
         CameraStep::Header,
         0,
         with([](CameraFaults& f) { f.strayStartAt = StepRef{CameraStep::Start}; }),
         {},
         {0xA5, 0xFB, 0x01, 0x5F, 0xAF},
         {5},
         "BlockAck"},
        {"WrongCheckAtItsBlock",
         blockNakReply,
         CameraStep::Block,
         2,
         with([](CameraFaults& f) {
             f.wrongCheckAt = StepRef{CameraStep::Block, 2};
         }),
         {},
         {0xA5, 0xFB, 0x00, 0x5F, 0xAF},
         {5},
         "BlockNak with a wrong check byte"},
        {"WrongCheckNotAtOtherBlocks",
         blockAckReply,
         CameraStep::Block,
         3,
         with([](CameraFaults& f) {
             f.wrongCheckAt = StepRef{CameraStep::Block, 2};
         }),
         {},
         {0xA5, 0xFB, 0x01, 0x5F, 0xAF},
         {5},
         "BlockAck"},
        {"SplitInThree",
         enterAckReply,
         CameraStep::Enter,
         0,
         with([](CameraFaults& f) { f.splitParts = 3; }),
         {},
         {0xA5, 0xF6, 0x00, 0x53, 0xAF},
         {1, 2, 2},
         "EnterAck in 3 pieces"},
        {"SplitNeverIntoEmptyPieces",
         abortReply,
         CameraStep::Block,
         4,
         with([](CameraFaults& f) { f.splitParts = 9; }),
         {},
         {0xA5, 0xF9, 0x00, 0x5C, 0xAF},
         {1, 1, 1, 1, 1},
         "AbortFrame in 5 pieces"},
        {"GarbledTurnsEveryBit",
         enterAckReply,
         CameraStep::Enter,
         0,
         {},
         SpeedMismatch{9600, 115200},
         {0x5A, 0x09, 0xFF, 0xAC, 0x50},
         {5},
         "EnterAck, garbled: the host listens at 9600 bit/s, the camera sends at 115200 bit/s"},
        {"AllTogether",
         blockAckReply,
         CameraStep::Block,
         7,
         with([](CameraFaults& f) {
             f.noiseBytes = 2;
             f.strayStartAt = StepRef{CameraStep::Any};
             f.wrongCheckAt = StepRef{CameraStep::Block};
             f.splitParts = 2;
         }),
         SpeedMismatch{115200, 9600},
         {0x1D, 0x72, 0x5A, 0x5A, 0x04, 0xFE, 0xA1, 0x50},
         {4, 4},
         "BlockAck after 2 noise bytes after a stray 0xA5 with a wrong check byte, garbled: the host listens "
         "at "
         "115200 bit/s, the camera sends at 9600 bit/s in 2 pieces"},
    };
}

class ReplyShaping : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ReplyShaping, HostGetsExactlyTheseBytes) {
    const ShapeCase& c = GetParam();
    ReplyNoise noise;
    CameraFaults faults;
    if (c.faults) {
        c.faults(faults);
    }
    const ShapedReply shaped = shapeReply(c.reply, c.step, c.block, faults, c.mismatch, noise);
    EXPECT_EQ(shaped.bytes, c.bytes);
    EXPECT_EQ(shaped.pieces, c.pieces);
    EXPECT_EQ(shaped.name, c.text);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReplyShaping, ::testing::ValuesIn(shapeCases()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ReplyNoise, NeverHoldsAStartByteNorOneAGarbledLineWouldTurnIntoIt) {
    ReplyNoise noise(0);
    for (int i = 0; i < 100000; ++i) {
        const std::uint8_t b = noise.next();
        ASSERT_NE(b, 0xA5);
        ASSERT_NE(b, 0x5A);
    }
}

} // namespace
} // namespace orvane
