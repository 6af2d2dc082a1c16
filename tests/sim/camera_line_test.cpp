// The virtual camera over its pseudo-terminal: refused blocks, the line-speed model, every
// fault as a host sees it, PTZ frames, noise, pacing, and a device that vanishes and returns.
#include "plain_host.h"
#include "sim/virtual_camera.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "support/wait.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>

namespace orvane::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

template <std::size_t N> Bytes bytes(const std::array<std::uint8_t, N>& frame) {
    return {frame.begin(), frame.end()};
}

const Bytes image3000 = [] {
    Bytes image(3000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 13);
    return image;
}();

Bytes enter() {
    return bytes(makeEnterUpgradeCommand(1, UpgradeTarget::MainBoard));
}
Bytes start() {
    return bytes(makeStartCommand(UpgradeTarget::MainBoard));
}
Bytes header() {
    return bytes(makeSizeHeader(3000));
}
Bytes block(std::uint32_t n) {
    return bytes(makeDataBlock(image3000, (n - 1) * 1024, n));
}
const Bytes ack = bytes(blockAckReply);
const Bytes nak = bytes(blockNakReply);

// Options that keep the waits of a misbehaving host short.
VirtualCameraOptions quickOptions() {
    VirtualCameraOptions o;
    o.switchWait = 200ms;
    o.speedGrace = 50ms;
    o.frameGap = 100ms;
    return o;
}

Bytes talk(PlainHost& host, const Bytes& frame, std::size_t answerSize = 5) {
    host.write(frame);
    return host.read(answerSize, 2s);
}

Bytes inverted(Bytes b) {
    for (auto& x : b)
        x = static_cast<std::uint8_t>(~x);
    return b;
}

// ---- Faults, as the host sees them -------------------------------------------------------

struct Exchange {
    Bytes frame;
    Bytes answer; // exactly what the host reads; empty: nothing within a while
};

struct FaultCase {
    const char* name;
    CameraFaults faults;
    std::vector<Exchange> script;
};

CameraFaults with(auto set) {
    CameraFaults f;
    set(f);
    return f;
}

Bytes prefixed(std::initializer_list<std::uint8_t> front, const ShortFrame& reply) {
    Bytes b(front);
    b.insert(b.end(), reply.begin(), reply.end());
    return b;
}

const FaultCase faultCases[] = {
    {"SilentAtEnter",
     with([](CameraFaults& f) { f.silentAt = StepRef{CameraStep::Enter}; }),
     {{enter(), {}}}},
    {"SilentAtStart",
     with([](CameraFaults& f) { f.silentAt = StepRef{CameraStep::Start}; }),
     {{enter(), bytes(enterAckReply)}, {start(), {}}}},
    {"SilentAtHeader",
     with([](CameraFaults& f) { f.silentAt = StepRef{CameraStep::Header}; }),
     {{enter(), bytes(enterAckReply)}, {start(), bytes(headerRequestReply)}, {header(), {}}}},
    {"SilentAtBlock2",
     with([](CameraFaults& f) {
         f.silentAt = StepRef{CameraStep::Block, 2};
     }),
     {{enter(), bytes(enterAckReply)},
      {start(), bytes(headerRequestReply)},
      {header(), ack},
      {block(1), ack},
      {block(2), {}}}},
    {"SilentAtEnd",
     with([](CameraFaults& f) { f.silentAt = StepRef{CameraStep::End}; }),
     {{enter(), bytes(enterAckReply)},
      {start(), bytes(headerRequestReply)},
      {header(), ack},
      {block(1), ack},
      {block(2), ack},
      {block(3), ack},
      {bytes(endFrame), {}}}},
    {"NakForAGivenBlock",
     with([](CameraFaults& f) {
         f.nakBlocks = {{1, 2}};
     }),
     {{enter(), bytes(enterAckReply)},
      {start(), bytes(headerRequestReply)},
      {header(), ack},
      {block(1), nak},
      {block(1), nak},
      {block(1), ack}}},
    {"NakEveryThird",
     with([](CameraFaults& f) { f.nakEvery = 3; }),
     {{enter(), bytes(enterAckReply)},
      {start(), bytes(headerRequestReply)},
      {header(), ack},
      {block(1), ack},
      {block(2), ack},
      {block(3), nak},
      {block(3), ack}}},
    {"CameraAbortsAtBlock2",
     with([](CameraFaults& f) { f.abortAtBlock = 2; }),
     {{enter(), bytes(enterAckReply)},
      {start(), bytes(headerRequestReply)},
      {header(), ack},
      {block(1), ack},
      {block(2), bytes(abortReply)}}},
    {"StrayStartBeforeHeaderRequest",
     with([](CameraFaults& f) { f.strayStartAt = StepRef{CameraStep::Start}; }),
     {{enter(), bytes(enterAckReply)}, {start(), prefixed({0xA5}, headerRequestReply)}, {header(), ack}}},
    {"WrongCheckByteOnBlockAck",
     with([](CameraFaults& f) {
         f.wrongCheckAt = StepRef{CameraStep::Block, 1};
     }),
     {{enter(), bytes(enterAckReply)},
      {start(), bytes(headerRequestReply)},
      {header(), ack},
      {block(1), {0xA5, 0xFB, 0x01, 0x5E, 0xAF}},
      {block(2), ack}}},
};

class FaultSeen : public ::testing::TestWithParam<FaultCase> {};

std::string faultName(const ::testing::TestParamInfo<FaultCase>& param) {
    return param.param.name;
}

TEST_P(FaultSeen, HostReadsExactlyTheMisbehaviour) {
    const FaultCase& c = GetParam();
    auto options = quickOptions();
    options.faults = c.faults;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    for (std::size_t i = 0; i < c.script.size(); ++i) {
        const auto& step = c.script[i];
        host.write(step.frame);
        const Bytes got = step.answer.empty() ? host.readFor(300ms) : host.read(step.answer.size(), 2s);
        EXPECT_EQ(hexOf(got), hexOf(step.answer)) << "frame " << i;
    }
    EXPECT_TRUE(host.readFor(50ms).empty()) << "nothing more than the script's answers";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultSeen, ::testing::ValuesIn(faultCases), faultName);

TEST(CameraFaultsOnTheLine, NoiseBeforeEveryReplyHoldsNoStartByte) {
    auto options = quickOptions();
    options.faults.noiseBytes = 40;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    for (const auto& [frame, reply] :
         {std::pair{enter(), enterAckReply}, std::pair{start(), headerRequestReply}}) {
        const Bytes got = talk(host, frame, 45);
        ASSERT_EQ(got.size(), 45u);
        EXPECT_EQ(std::count(got.begin(), got.begin() + 40, frameStart), 0);
        EXPECT_EQ(Bytes(got.begin() + 40, got.end()), bytes(reply));
    }
}

TEST(CameraFaultsOnTheLine, SplitRepliesArriveInPiecesWithGaps) {
    auto options = quickOptions();
    options.faults.splitParts = 3;
    options.faults.splitGap = 150ms;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    host.write(enter());
    const Bytes first = host.read(5, 100ms);
    EXPECT_GE(first.size(), 1u);
    EXPECT_LT(first.size(), 5u) << "the first piece comes alone";
    Bytes all = first;
    const Bytes rest = host.read(5 - first.size(), 2s);
    all.insert(all.end(), rest.begin(), rest.end());
    EXPECT_EQ(all, bytes(enterAckReply));
}

TEST(CameraFaultsOnTheLine, FaultsCanChangeWhileRunning) {
    VirtualCamera camera(quickOptions());
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    CameraFaults faults;
    faults.silentAt = StepRef{CameraStep::Start};
    camera.setFaults(faults);
    host.write(start());
    EXPECT_TRUE(host.readFor(300ms).empty());
}

// ---- Strict: hosts that a real boot loader would not answer ------------------------------

struct WrongHost {
    const char* name;
    int upgradeSpeed;
    // Drives the host to its mistake; answers what it reads after it.
    std::function<Bytes(PlainHost& host, const std::string& path)> run;
    Bytes forgivingAnswer; // the strict camera answers nothing
};

Bytes lastRead(PlainHost& host, std::size_t size) {
    return host.read(size, 300ms);
}

const WrongHost wrongHosts[] = {
    {"ReopensAtTheUpgradeSpeedTooLate", 115200,
     [](PlainHost& host, const std::string& path) {
         host.write(enter());
         host.close();
         std::this_thread::sleep_for(400ms);
         EXPECT_TRUE(host.open(path, 115200));
         return lastRead(host, 5);
     },
     bytes(enterAckReply)},
    {"ClosesWithTheReplyUnread", 9600,
     [](PlainHost& host, const std::string& path) {
         host.write(enter());
         std::this_thread::sleep_for(150ms);
         host.close();
         std::this_thread::sleep_for(50ms); // the camera sees the close before the host reads again
         EXPECT_TRUE(host.open(path, 9600));
         return lastRead(host, 5);
     },
     bytes(enterAckReply)},
    {"SendsTheStartCommandAtOnce", 9600,
     [](PlainHost& host, const std::string&) {
         EXPECT_EQ(talk(host, enter()), bytes(enterAckReply));
         host.write(start());
         return lastRead(host, 5);
     },
     bytes(headerRequestReply)},
    {"EndsAfterOneOfFiveBlocks", 9600,
     [](PlainHost& host, const std::string&) {
         const Bytes image(5000, 0x3C);
         EXPECT_EQ(talk(host, enter()), bytes(enterAckReply));
         std::this_thread::sleep_for(500ms);
         EXPECT_EQ(talk(host, start()), bytes(headerRequestReply));
         EXPECT_EQ(talk(host, bytes(makeSizeHeader(5000))), ack);
         EXPECT_EQ(talk(host, bytes(makeDataBlock(image, 0, 1))), ack);
         host.write(bytes(endFrame));
         return lastRead(host, 5);
     },
     ack},
};

class StrictCamera : public ::testing::TestWithParam<WrongHost> {};

TEST_P(StrictCamera, AnswersWhatTheForgivingOneAnswersOnlyToARightHost) {
    const WrongHost& c = GetParam();
    for (const bool strict : {false, true}) {
        auto options = quickOptions();
        options.switchWait = 1000ms;
        options.upgradeSpeed = c.upgradeSpeed;
        options.strict = strict;
        VirtualCamera camera(options);
        ASSERT_TRUE(camera.start()) << camera.error();
        PlainHost host;
        ASSERT_TRUE(host.open(camera.portPath(), 9600));
        EXPECT_EQ(hexOf(c.run(host, camera.portPath())), hexOf(strict ? Bytes{} : c.forgivingAnswer))
            << (strict ? "strict" : "forgiving");
    }
}

INSTANTIATE_TEST_SUITE_P(WrongHosts, StrictCamera, ::testing::ValuesIn(wrongHosts),
                         [](const auto& param) { return std::string(param.param.name); });

// ---- A corrupt block on the line ---------------------------------------------------------

TEST(CameraLine, CorruptBlockIsRefusedAndItsResendTaken) {
    VirtualCamera camera(quickOptions());
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
    ASSERT_EQ(talk(host, header()), ack);
    Bytes corrupt = block(1);
    corrupt[500] ^= 0x40; // a flipped data bit: the check byte no longer fits
    EXPECT_EQ(talk(host, corrupt), nak);
    for (std::uint32_t n = 1; n <= 3; ++n)
        EXPECT_EQ(talk(host, block(n)), ack);
    EXPECT_EQ(talk(host, bytes(endFrame)), ack);
    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->matches) << verdict->summary;
    EXPECT_EQ(verdict->image, image3000);
    const auto blocks = camera.receivedFrames(HostFrameKind::Block);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_FALSE(blocks[0].intact);
    EXPECT_EQ(blocks[0].bytes, corrupt);
}

// ---- The line-speed model ----------------------------------------------------------------

TEST(CameraSpeed, HostThatStaysAtTheLineSpeedHearsGarbageAndIsNotHeard) {
    auto options = quickOptions();
    options.upgradeSpeed = 115200;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    // The host forgets to switch to the upgrade speed after the EnterUpgradeCommand.
    EXPECT_EQ(talk(host, enter()), inverted(bytes(enterAckReply)));
    EXPECT_EQ(camera.cameraSpeed(), 115200);
    std::this_thread::sleep_for(100ms); // longer than the grace
    host.write(start());
    EXPECT_TRUE(host.readFor(300ms).empty());
    const auto frames = camera.receivedFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind, HostFrameKind::EnterUpgrade);
    EXPECT_EQ(frames[1].kind, HostFrameKind::Garbled);
    EXPECT_EQ(frames[1].bytes, start());
}

TEST(CameraSpeed, SpecialTargetWithoutTheSwitchTo115200) {
    VirtualCamera camera(quickOptions());
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    EXPECT_EQ(talk(host, bytes(makeEnterUpgradeCommand(1, UpgradeTarget::Special))), bytes(enterAckReply));
    EXPECT_EQ(talk(host, bytes(makeStartCommand(UpgradeTarget::Special))),
              inverted(bytes(headerRequestReply)));
    // Switching late still lets the exchange go on at 115200.
    ASSERT_TRUE(host.reopen(115200));
    EXPECT_EQ(talk(host, bytes(makeSizeHeader(0))), ack);
    EXPECT_EQ(talk(host, bytes(endFrame)), ack);
}

TEST(CameraSpeed, AnyRateTheHostSetsIsSeenAndModelled) {
    auto options = quickOptions();
    options.upgradeSpeed = 250000;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    host.write(enter());
    ASSERT_TRUE(host.setArbitrarySpeed(250000));
    EXPECT_EQ(host.read(5, 2s), bytes(enterAckReply));
    EXPECT_EQ(camera.hostSpeed(), 250000);
    EXPECT_EQ(talk(host, start()), bytes(headerRequestReply));
}

TEST(CameraSpeed, QuickReturnToTheLineSpeedForANewJobIsHeard) {
    auto options = quickOptions();
    options.upgradeSpeed = 115200;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    for (int job = 0; job < 3; ++job) {
        // As the upgrade job does: reopen at the line speed, write, reopen at the upgrade speed,
        // all quicker than the camera samples; the port was left at 115200 by the job before.
        ASSERT_TRUE(host.open(camera.portPath(), 9600));
        host.write(enter());
        ASSERT_TRUE(host.reopen(115200));
        ASSERT_EQ(host.read(5, 2s), bytes(enterAckReply)) << "job " << job;
        ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
        ASSERT_EQ(talk(host, bytes(makeSizeHeader(0))), ack);
        ASSERT_EQ(talk(host, bytes(endFrame)), ack);
        std::this_thread::sleep_for(150ms);
    }
}

// ---- PTZ frames and noise ----------------------------------------------------------------

TEST(CameraLine, PtzFramesAreRecordedWithTheirMeaning) {
    VirtualCamera camera(quickOptions());
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    const std::vector<std::pair<Bytes, std::string>> buttons = {
        {{0xFF, 0x01, 0x00, 0x04, 0x1E, 0x00, 0x23}, "PTZ pan left (address 1, pan speed 30)"},
        {{0xFF, 0x01, 0x00, 0x08, 0x00, 0x1E, 0x27}, "PTZ tilt up (address 1, tilt speed 30)"},
        {{0xFF, 0x01, 0x00, 0x10, 0x00, 0x1E, 0x2F}, "PTZ tilt down (address 1, tilt speed 30)"},
        {{0xFF, 0x01, 0x00, 0x02, 0x1E, 0x00, 0x21}, "PTZ pan right (address 1, pan speed 30)"},
        {{0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}, "PTZ stop (address 1)"},
        {{0xFF, 0x01, 0x00, 0x20, 0x00, 0x00, 0x21}, "PTZ zoom tele (address 1)"},
        {{0xFF, 0x01, 0x00, 0x40, 0x00, 0x00, 0x41}, "PTZ zoom wide (address 1)"},
        {{0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02}, "PTZ focus near (address 1)"},
        {{0xFF, 0x01, 0x00, 0x80, 0x00, 0x00, 0x81}, "PTZ focus far (address 1)"},
    };
    for (const auto& [frame, meaning] : buttons)
        host.write(frame);
    host.write(Bytes{0x12, 0x34});
    EXPECT_TRUE(host.readFor(200ms).empty()) << "PTZ frames are not answered";
    const auto frames = camera.receivedFrames();
    ASSERT_EQ(frames.size(), buttons.size() + 1);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(frames[i].kind, HostFrameKind::Ptz);
        EXPECT_EQ(frames[i].bytes, buttons[i].first);
        EXPECT_EQ(meaningOf(frames[i]), buttons[i].second);
        EXPECT_GE(frames[i].time, i == 0 ? SimTime{} : frames[i - 1].time);
    }
    EXPECT_EQ(frames.back().kind, HostFrameKind::Unrecognised);
    EXPECT_EQ(frames.back().bytes, (Bytes{0x12, 0x34}));
}

TEST(CameraLine, SurvivesGarbageAndPartialFramesThenUpgrades) {
    VirtualCamera camera(quickOptions());
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 9600));
    std::mt19937 random(20261208);
    const Bytes starts{0xA5, 0xA0, 0xFF, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xAF, 0x57, 0x00, 0x01};
    for (int burst = 0; burst < 50; ++burst) {
        Bytes noise(random() % 300);
        for (auto& b : noise)
            b = (random() % 2 == 0) ? starts[random() % starts.size()] : static_cast<std::uint8_t>(random());
        if (burst % 5 == 0) {
            const Bytes piece = block(1);
            noise.insert(noise.end(), piece.begin(),
                         piece.begin() + static_cast<std::ptrdiff_t>(random() % piece.size()));
        }
        host.write(noise);
    }
    host.readFor(400ms); // whatever the camera made of it; the gap passes meanwhile
    ASSERT_TRUE(camera.running());
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
    ASSERT_EQ(talk(host, header()), ack);
    for (std::uint32_t n = 1; n <= 3; ++n)
        ASSERT_EQ(talk(host, block(n)), ack);
    ASSERT_EQ(talk(host, bytes(endFrame)), ack);
    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->matches) << verdict->summary;
}

// ---- Pacing and stopping -----------------------------------------------------------------

TEST(CameraPacing, BlockRoundTripTakesItsWireTimeAndTheFlashTime) {
    auto options = quickOptions();
    options.lineSpeed = 57600;
    options.upgradeSpeed = 57600;
    options.pacing = true;
    options.flashTime = 100ms;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 57600));
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
    ASSERT_EQ(talk(host, header()), ack);
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(talk(host, block(1)), ack);
    const auto took = std::chrono::steady_clock::now() - before;
    const auto wire = exactWireTime(1030 + 5, 57600); // about 180 ms
    EXPECT_GE(took, wire + 100ms);
    EXPECT_LT(took, wire + 100ms + 500ms) << "generous for a loaded machine";
}

struct PacingCase {
    int speed;
    std::chrono::milliseconds replyDelay;
};

class PacingAccuracy : public ::testing::TestWithParam<PacingCase> {};

// Never quicker than the wire allows; the quickest of a few round trips close to it (loose
// enough for a busy machine; bench/reply_pacing has the exact figures).
TEST_P(PacingAccuracy, BlockRoundTripIsItsWireTimeAndTheReplyDelay) {
    const auto [speed, replyDelay] = GetParam();
    auto options = quickOptions();
    options.lineSpeed = speed;
    options.upgradeSpeed = speed;
    options.pacing = true;
    options.replyDelay = replyDelay;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), speed));
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
    const Bytes image(8 * 1024, 0x5A);
    ASSERT_EQ(talk(host, bytes(makeSizeHeader(static_cast<std::uint32_t>(image.size())))), ack);
    const auto expected = exactWireTime(1030 + 5, speed) + replyDelay;
    auto quickest = std::chrono::steady_clock::duration::max();
    for (std::uint32_t n = 1; n <= 8; ++n) {
        const Bytes frame = bytes(makeDataBlock(image, (n - 1) * 1024, n));
        const auto before = std::chrono::steady_clock::now();
        ASSERT_EQ(talk(host, frame), ack) << "block " << n;
        const auto took = std::chrono::steady_clock::now() - before;
        EXPECT_GE(took, expected) << "block " << n;
        quickest = std::min(quickest, took);
    }
    EXPECT_LT(quickest, expected + std::max<std::chrono::nanoseconds>(expected / 2, 10ms));
}

INSTANTIATE_TEST_SUITE_P(Speeds, PacingAccuracy,
                         ::testing::Values(PacingCase{230400, 0ms}, PacingCase{460800, 0ms},
                                           PacingCase{921600, 0ms}, PacingCase{921600, 30ms}),
                         [](const auto& test) {
                             return std::to_string(test.param.speed) + "_delay" +
                                    std::to_string(test.param.replyDelay.count()) + "ms";
                         });

TEST(CameraPacing, StopEndsTheThreadPromptlyEvenMidBlock) {
    auto options = quickOptions();
    options.lineSpeed = 300; // a block takes half a minute at this speed
    options.upgradeSpeed = 300;
    options.pacing = true;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 300));
    host.write(block(1));
    std::this_thread::sleep_for(100ms);
    const auto before = std::chrono::steady_clock::now();
    camera.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_FALSE(camera.running());
}

// ---- The device vanishes and comes back --------------------------------------------------

TEST(CameraVanish, HostSeesAHangUpAndTheLinkFollowsTheNewDevice) {
    const TempFolder folder;
    auto options = quickOptions();
    options.linkPath = folder.file("camera");
    options.faults.vanishAtBlock = 2;
    options.faults.returnAfter = 300ms;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    const std::string firstDevice = camera.devicePath();
    EXPECT_EQ(fs::read_symlink(options.linkPath).string(), firstDevice);

    PlainHost host;
    ASSERT_TRUE(host.open(options.linkPath, 9600));
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
    ASSERT_EQ(talk(host, header()), ack);
    ASSERT_EQ(talk(host, block(1)), ack);
    host.write(block(2));
    pollfd p{host.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0) << "the host's port hangs up";
    EXPECT_TRUE(host.read(5, 100ms).empty());

    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_FALSE(verdict->finished);
    EXPECT_EQ(verdict->blocksReceived, 1u);

    ASSERT_TRUE(waitUntil([&] { return camera.present(); }, 2s));
    EXPECT_NE(camera.devicePath(), firstDevice);
    EXPECT_EQ(fs::read_symlink(options.linkPath).string(), camera.devicePath());

    // A new job on the same link succeeds.
    camera.setFaults({});
    ASSERT_TRUE(host.open(options.linkPath, 9600));
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
    ASSERT_EQ(talk(host, header()), ack);
    for (std::uint32_t n = 1; n <= 3; ++n)
        ASSERT_EQ(talk(host, block(n)), ack);
    ASSERT_EQ(talk(host, bytes(endFrame)), ack);
    ASSERT_TRUE(waitUntil([&] { return camera.lastVerdict() && camera.lastVerdict()->matches; }, 2s));
}

TEST(CameraVanish, OnRequestTheLinkGoesAndReturns) {
    const TempFolder folder;
    auto options = quickOptions();
    options.linkPath = folder.file("camera");
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    camera.vanish();
    EXPECT_FALSE(camera.present());
    EXPECT_FALSE(fs::exists(fs::symlink_status(options.linkPath)));
    PlainHost host;
    EXPECT_FALSE(host.open(options.linkPath, 9600));
    ASSERT_TRUE(camera.comeBack()) << camera.error();
    EXPECT_TRUE(camera.present());
    ASSERT_TRUE(host.open(options.linkPath, 9600));
    EXPECT_EQ(talk(host, enter()), bytes(enterAckReply));
    camera.stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(options.linkPath))) << "stopping removes the link";
}

TEST(CameraVanish, OnRequestMidBlockTheBlockIsNeverAnswered) {
    auto options = quickOptions();
    options.lineSpeed = 1200; // a block takes over eight seconds on the line
    options.upgradeSpeed = 1200;
    options.pacing = true;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), 1200));
    ASSERT_EQ(talk(host, enter()), bytes(enterAckReply));
    ASSERT_EQ(talk(host, start()), bytes(headerRequestReply));
    ASSERT_EQ(talk(host, header()), ack);
    host.write(block(1));
    std::this_thread::sleep_for(100ms);
    const auto before = std::chrono::steady_clock::now();
    camera.vanish();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_TRUE(host.read(5, 200ms).empty());
    EXPECT_TRUE(camera.receivedFrames(HostFrameKind::Block).empty()) << "the block never reached the camera";
}

TEST(CameraVanish, NeverReplacesAFileThatIsNotItsLink) {
    const TempFolder folder;
    const std::string path = folder.file("precious");
    writeFile(path, "keep me");
    auto options = quickOptions();
    options.linkPath = path;
    VirtualCamera camera(options);
    EXPECT_FALSE(camera.start());
    EXPECT_NE(camera.error().find(path), std::string::npos) << camera.error();
    EXPECT_EQ(readFile(path), "keep me");
}

} // namespace
} // namespace orvane::test
