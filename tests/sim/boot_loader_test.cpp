// The boot loader's decisions without a line: which frame is answered how, in which state,
// under which fault, and what it reports at the end.
#include "sim/boot_loader.h"
#include "sim/frame_reader.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Reply = std::optional<ShortFrame>;

template <std::size_t N> Bytes bytes(const std::array<std::uint8_t, N>& frame) {
    return {frame.begin(), frame.end()};
}

const Bytes image3000 = [] {
    Bytes image(3000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i % 253);
    return image;
}();

Bytes enter(std::uint8_t address = 1, UpgradeTarget t = UpgradeTarget::MainBoard) {
    return bytes(makeEnterUpgradeCommand(address, t));
}
Bytes start(UpgradeTarget t = UpgradeTarget::MainBoard) {
    return bytes(makeStartCommand(t));
}
Bytes header(std::uint32_t length = 3000) {
    return bytes(makeSizeHeader(length));
}
Bytes block(std::uint32_t n, const Bytes& image = image3000) {
    return bytes(makeDataBlock(image, (n - 1) * 1024, n));
}
Bytes damaged(Bytes frame) {
    frame[frame.size() - 2] ^= 0x01;
    return frame;
}
const Bytes end = bytes(endFrame);
const Bytes hostAbort = bytes(abortFrame);

HostFrame frameOf(const Bytes& b) {
    FrameReader reader;
    std::vector<HostFrame> out;
    reader.feed(b, SimTime{}, out);
    EXPECT_EQ(out.size(), 1u);
    return out.at(0);
}

struct Step {
    Bytes frame;
    Reply reply;
};

struct ScriptCase {
    const char* name;
    std::vector<Step> steps;
};

const Reply ack = blockAckReply;
const Reply nak = blockNakReply;
const Reply none = std::nullopt;

const std::vector<Step> upToHeader = {
    {enter(), enterAckReply}, {start(), headerRequestReply}, {header(), ack}};

std::vector<Step> after(std::vector<Step> more) {
    std::vector<Step> all = upToHeader;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

const ScriptCase scripts[] = {
    {"WholeExchange", after({{block(1), ack}, {block(2), ack}, {block(3), ack}, {end, ack}})},
    {"OtherAddressIgnored", {{enter(2), none}, {start(), none}}},
    {"StartBeforeEnterIgnored", {{start(), none}, {enter(), enterAckReply}, {start(), headerRequestReply}}},
    {"StartCodeMustFitBoard", {{enter(), enterAckReply}, {start(UpgradeTarget::MotorBoard), none}}},
    {"DamagedHeaderRefused",
     {{enter(), enterAckReply}, {start(), headerRequestReply}, {damaged(header()), nak}, {header(), ack}}},
    {"HeaderCountMustFitLength",
     {{enter(), enterAckReply},
      {start(), headerRequestReply},
      {[] {
           Bytes h = header();
           h[3] = 0x04;
           h[9] ^= 0x07;
           return h;
       }(),
       nak}}},
    {"DamagedBlockRefusedThenTaken", after({{damaged(block(1)), nak}, {block(1), ack}})},
    {"BlockOutOfOrderRefused", after({{block(2), nak}, {block(1), ack}, {block(1), nak}, {block(2), ack}})},
    {"NoBlockBeyondTheLength",
     {{enter(), enterAckReply},
      {start(), headerRequestReply},
      {header(1024), ack},
      {block(1), ack},
      {block(2, Bytes(2048, 1)), nak},
      {end, ack}}},
    {"BlocksOutsideATransferIgnored", {{block(1), none}, {end, none}, {hostAbort, none}}},
    {"HostAbortEndsTheUpgrade",
     after({{block(1), ack}, {hostAbort, none}, {block(2), none}, {enter(), enterAckReply}})},
};

class Script : public ::testing::TestWithParam<ScriptCase> {};

std::string scriptName(const ::testing::TestParamInfo<ScriptCase>& param) {
    return param.param.name;
}

TEST_P(Script, AnswersEachFrameAsExpected) {
    const ScriptCase& c = GetParam();
    BootLoader camera({1, 9600, 9600});
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const auto answer = camera.onFrame(frameOf(c.steps[i].frame));
        EXPECT_EQ(answer.reply, c.steps[i].reply) << "frame " << i << ": " << answer.note;
    }
}

INSTANTIATE_TEST_SUITE_P(BootLoader, Script, ::testing::ValuesIn(scripts), scriptName);

// ---- Strict: a host that cuts its pause short, or ends before every block is in -----------

using std::chrono::milliseconds;

struct TimedStep {
    Bytes frame;
    int atMs; // when its last byte is in
    Reply forgiving;
    Reply strict;
    std::optional<int> replyOutMs = std::nullopt; // when the reply went out, if later than the frame
};

struct StrictCase {
    const char* name;
    std::vector<TimedStep> steps;
};

std::vector<TimedStep> inTransfer(std::uint32_t length, std::vector<TimedStep> more) {
    std::vector<TimedStep> all = {{enter(), 0, enterAckReply, enterAckReply},
                                  {start(), 500, headerRequestReply, headerRequestReply},
                                  {header(length), 600, ack, ack}};
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

const Bytes image5000(5000, 0x42);
Bytes block5000(std::uint32_t n) {
    return block(n, image5000);
}

const StrictCase strictCases[] = {
    {"StartAtOnceAfterEnterAck",
     {{enter(), 0, enterAckReply, enterAckReply}, {start(), 0, headerRequestReply, none}}},
    {"StartJustShortOfNineTenthsOfThePause",
     {{enter(), 0, enterAckReply, enterAckReply}, {start(), 449, headerRequestReply, none}}},
    {"StartAtNineTenthsOfThePause",
     {{enter(), 0, enterAckReply, enterAckReply}, {start(), 450, headerRequestReply, headerRequestReply}}},
    {"PauseCountsFromTheReplyGoingOut",
     {{enter(), 0, enterAckReply, enterAckReply, 300},
      {start(), 600, headerRequestReply, none},
      {start(), 800, none, headerRequestReply}}},
    {"UnheardStartLeavesTheCameraWaitingForOne",
     {{enter(), 0, enterAckReply, enterAckReply},
      {start(), 100, headerRequestReply, none},
      {start(), 600, none, headerRequestReply},
      {header(), 700, ack, ack}}},
    {"EndFrameAfterOneOfFiveBlocks", inTransfer(5000, {{block5000(1), 700, ack, ack},
                                                       {end, 800, ack, none},
                                                       {block5000(2), 900, none, ack},
                                                       {block5000(3), 900, none, ack},
                                                       {block5000(4), 900, none, ack},
                                                       {block5000(5), 900, none, ack},
                                                       {end, 900, none, ack}})},
    {"ExactMultipleEndsWithoutTheCountsExtraBlock",
     inTransfer(2048, {{block(1, Bytes(2048, 7)), 700, ack, ack},
                       {block(2, Bytes(2048, 7)), 700, ack, ack},
                       {end, 700, ack, ack}})},
    {"EmptyImageEndsAtOnce", inTransfer(0, {{end, 700, ack, ack}})},
};

class StrictScript : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictScript, ForgivingAnswersWhatStrictRefuses) {
    for (const bool strict : {false, true}) {
        BootLoader camera({1, 9600, 9600, strict});
        const auto& steps = GetParam().steps;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const TimedStep& step = steps[i];
            FrameReader reader;
            std::vector<HostFrame> frames;
            reader.feed(step.frame, SimTime{} + milliseconds{step.atMs}, frames);
            ASSERT_EQ(frames.size(), 1u);
            const auto answer = camera.onFrame(frames[0]);
            if (step.replyOutMs) {
                camera.noteReplyOut(SimTime{} + milliseconds{*step.replyOutMs});
            }
            EXPECT_EQ(answer.reply, strict ? step.strict : step.forgiving)
                << (strict ? "strict" : "forgiving") << ", frame " << i << ": " << answer.note;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BootLoader, StrictScript, ::testing::ValuesIn(strictCases),
                         [](const auto& param) { return std::string(param.param.name); });

std::optional<UpgradeVerdict> runTo(BootLoader& camera, std::uint32_t length, const Bytes& image,
                                    std::uint32_t blocks) {
    camera.onFrame(frameOf(enter()));
    camera.onFrame(frameOf(start()));
    camera.onFrame(frameOf(header(length)));
    for (std::uint32_t n = 1; n <= blocks; ++n)
        camera.onFrame(frameOf(block(n, image)));
    return camera.onFrame(frameOf(end)).verdict;
}

TEST(BootLoaderVerdict, ExactMultipleOf1024MatchesWithoutTheAnnouncedExtraBlock) {
    BootLoader camera({1, 9600, 9600});
    const Bytes image(2048, 0x1A); // image bytes that look like filler are still image
    const auto v = runTo(camera, 2048, image, 2);
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->matches) << v->summary;
    EXPECT_EQ(v->announcedBlocks, 3);
    EXPECT_EQ(v->blocksReceived, 2u);
    EXPECT_EQ(v->image, image);
}

TEST(BootLoaderVerdict, MissingBlockAtTheEndIsNoMatch) {
    BootLoader camera({1, 9600, 9600});
    const auto v = runTo(camera, 3000, image3000, 2);
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->finished);
    EXPECT_FALSE(v->matches);
    EXPECT_EQ(v->summary, "received 2048 of 3000 bytes in 2 blocks: blocks are missing");
}

TEST(BootLoaderVerdict, FillerMustBeFillerPastTheLength) {
    BootLoader camera({1, 9600, 9600});
    // The host announces 1000 bytes but sends a block of 1024 real bytes.
    const auto v = runTo(camera, 1000, Bytes(1024, 0x33), 1);
    ASSERT_TRUE(v);
    EXPECT_FALSE(v->matches);
    EXPECT_EQ(v->image.size(), 1000u);
}

struct SpeedCase {
    UpgradeTarget target;
    int afterEnter;
    int afterStart;
};

class BootLoaderSpeed : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(BootLoaderSpeed, FollowsTheExchange) {
    const auto c = GetParam();
    BootLoader camera({7, 9600, 57600});
    EXPECT_EQ(camera.speed(), 9600);
    auto a = camera.onFrame(frameOf(enter(7, c.target)));
    EXPECT_EQ(a.speedBeforeReply, c.afterEnter) << "EnterAck goes out at the upgrade speed";
    a = camera.onFrame(frameOf(start(c.target)));
    EXPECT_EQ(camera.speed(), c.afterStart);
    camera.onFrame(frameOf(header(0)));
    a = camera.onFrame(frameOf(end));
    EXPECT_FALSE(a.speedBeforeReply) << "the EndFrame's BlockAck goes out at the speed of the transfer";
    EXPECT_EQ(a.speedAfterReply, 9600);
    ASSERT_TRUE(a.verdict);
    EXPECT_TRUE(a.verdict->matches) << "an empty image is complete with no block";
}

INSTANTIATE_TEST_SUITE_P(Targets, BootLoaderSpeed,
                         ::testing::Values(SpeedCase{UpgradeTarget::MainBoard, 57600, 57600},
                                           SpeedCase{UpgradeTarget::MotorBoard, 57600, 57600},
                                           SpeedCase{UpgradeTarget::Special, 57600, 115200}));

TEST(StepRefFromText, ReadsWhatUsersType) {
    const std::pair<const char*, std::optional<StepRef>> rows[] = {
        {"enter", StepRef{CameraStep::Enter, 0}},
        {"start", StepRef{CameraStep::Start, 0}},
        {"header", StepRef{CameraStep::Header, 0}},
        {"block", StepRef{CameraStep::Block, 0}},
        {"block:12", StepRef{CameraStep::Block, 12}},
        {"end", StepRef{CameraStep::End, 0}},
        {"any", StepRef{CameraStep::Any, 0}},
        {"block:0", std::nullopt},
        {"block:", std::nullopt},
        {"block:3x", std::nullopt},
        {"Block", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : rows) {
        const auto got = stepRefFromText(text);
        ASSERT_EQ(got.has_value(), expected.has_value()) << text;
        if (got) {
            EXPECT_EQ(got->step, expected->step) << text;
            EXPECT_EQ(got->block, expected->block) << text;
        }
    }
}

} // namespace
} // namespace orvane
