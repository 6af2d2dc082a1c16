// The faults that are about time, on the job's fake clock: a camera that stays silent, gives
// up, refuses a block a hundred times, or whose replies are disturbed on the line, at each
// step of the exchange; and the owner cancelling at each wait. Each case checks the log, every
// frame on the wire with its bytes and moment, the job's result, and that the camera is not
// left inside a transfer. Every case runs in both reply modes: the low-latency one must put the
// same bytes on the wire and write the same log, with the same time limits.
#include "loopback_camera.h"
#include "upgrade/job_rig.h"
#include "upgrade/upgrade_job.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>

namespace orvane::testing {
namespace {

using std::chrono::milliseconds;
using K = HostFrameKind;

const std::string earlier = "Earlier line\r\n";
const std::string started = "Start\r\n";
const std::string commandOk = "Send Command successful !\r\n";
const std::string failed = "Update was failed !\r\n";
const std::string succeeded = "Update was successful !\r\n";
const std::string cancelled = "Upgrade cancelled\r\n";
std::string progress(unsigned percent) {
    return "Send updated datas  progress:" + std::to_string(percent) + "%\r\n";
}

// A 3000-byte image: three blocks, progress 0 %, 34 %, 68 %.
constexpr std::size_t imageLength = 3000;

struct JobRun {
    ReplyFlags flags;
    FakeClock clock;
    LoopbackCamera camera;
    ScriptedInputs inputs;
    RecordingLog log{earlier};
    std::atomic<bool> cancel{false};
    TempFile file{imageOf(imageLength)};
    UpgradeOutcome outcome;
    int result = 1;

    bool lowLatency = false;

    JobRun(CameraFaults faults, LineFaults line, bool prompt)
        : camera(flags, clock, std::move(faults), line), lowLatency(prompt) {
        inputs.path = file.path();
    }

    void go() {
        UpgradeSettings settings;
        settings.lowLatency = lowLatency;
        const UpgradeJobContext context{camera, flags, clock, inputs, log, settings, &cancel};
        outcome = runUpgradeJob(context);
        result = outcome.result;
    }
    // How long after the last frame of kind the AbortFrame went out.
    milliseconds abortDelayAfter(K kind) const {
        const auto frames = camera.written();
        milliseconds last{-1};
        for (const auto& frame : frames) {
            if (frame.kind == kind)
                last = frame.at;
        }
        return frames.back().at - last;
    }
};

// The frames of a 3000-byte MainBoard upgrade, in order, up to and including the one named.
std::vector<K> framesUpTo(K last, std::uint32_t lastBlock = 3) {
    std::vector<K> kinds{K::EnterUpgrade, K::Start, K::Header};
    if (last == K::EnterUpgrade)
        return {K::EnterUpgrade};
    if (last == K::Start)
        return {K::EnterUpgrade, K::Start};
    if (last == K::Header)
        return kinds;
    for (std::uint32_t b = 1; b <= lastBlock; ++b)
        kinds.push_back(K::Block);
    if (last == K::End)
        kinds.push_back(K::End);
    return kinds;
}

// Every frame carries exactly the bytes of its builder; blocks are cut from the image.
void expectFrameBytes(const std::vector<WrittenFrame>& frames) {
    const Bytes image = imageOf(imageLength);
    for (const auto& frame : frames) {
        switch (frame.kind) {
        case K::EnterUpgrade: {
            const auto enter = makeEnterUpgradeCommand(1, UpgradeTarget::MainBoard);
            EXPECT_EQ(frame.bytes, Bytes(enter.begin(), enter.end()));
            break;
        }
        case K::Start:
            EXPECT_EQ(frame.bytes, (Bytes{0xA5, 0xF6, 0xAA, 0xF9, 0xAF}));
            break;
        case K::Header:
            EXPECT_EQ(frame.bytes, (Bytes{0xA5, 0xF7, 0x00, 0x03, 0x00, 0x00, 0x0B, 0xB8, 0x0A, 0xE8, 0xAF}));
            break;
        case K::Block: {
            const auto block = makeDataBlock(image, (frame.block - 1) * 1024, frame.block);
            EXPECT_EQ(frame.bytes, Bytes(block.begin(), block.end())) << "block " << frame.block;
            break;
        }
        case K::End:
            EXPECT_EQ(frame.bytes, (Bytes{0xA5, 0xFA, 0x00, 0x5F, 0xAF}));
            break;
        case K::Abort:
            EXPECT_EQ(frame.bytes, (Bytes{0xA5, 0xF9, 0x00, 0x5C, 0xAF}));
            break;
        default:
            ADD_FAILURE() << "unexpected frame on the wire";
        }
    }
}

// Each case once with the replies polled at the standard pauses and once with low-latency replies.
template <typename Case> std::vector<Case> inBothModes(std::vector<Case> cases) {
    const std::size_t standard = cases.size();
    for (std::size_t i = 0; i < standard; ++i) {
        Case prompt = cases[i];
        prompt.name += "LowLatency";
        prompt.lowLatency = true;
        cases.push_back(prompt);
    }
    return cases;
}

template <typename Param> std::string caseName(const ::testing::TestParamInfo<Param>& info) {
    return info.param.name;
}

// --- A reply that never arrives, for three reasons, at each of the five waits ------------------

enum class Loss { Silent, StrayStart, CameraAbort };

struct LostReply {
    std::string name;
    Loss loss;
    CameraStep step;
    std::uint32_t block; // Block step only
    K lastFrame;         // the frame whose answer is lost
    milliseconds abortAfter;
    std::string log; // everything after "Start" and the earlier lines it replaced
    bool lowLatency = false;
};

std::vector<LostReply> lostReplies() {
    const std::string f = failed;
    const std::string afterStart = commandOk + failed;
    const std::string g = commandOk + progress(34) + failed; // block 2's progress line kept
    const std::string h = commandOk + failed;                // the progress line dropped
    std::vector<LostReply> cases;
    const struct {
        Loss loss;
        const char* name;
    } causes[] = {
        {Loss::Silent, "Silent"}, {Loss::StrayStart, "StrayA5"}, {Loss::CameraAbort, "CameraAbortFrame"}};
    for (const auto& cause : causes) {
        const std::string n = cause.name;
        // The camera's AbortFrame counts only while the job waits for a block: elsewhere it is
        // ignored and the wait runs out as if the camera had said nothing.
        const milliseconds blockWait =
            cause.loss == Loss::CameraAbort ? milliseconds{5} : milliseconds{10000};
        cases.push_back(
            {n + "AtW1EnterAck", cause.loss, CameraStep::Enter, 0, K::EnterUpgrade, milliseconds{10000}, f});
        cases.push_back({n + "AtW2HeaderRequest", cause.loss, CameraStep::Start, 0, K::Start,
                         milliseconds{10000}, afterStart});
        cases.push_back({n + "AtW3HeaderAccept", cause.loss, CameraStep::Header, 0, K::Header,
                         milliseconds{10000}, afterStart});
        cases.push_back({n + "AtW4Block2", cause.loss, CameraStep::Block, 2, K::Block, blockWait, g});
        cases.push_back({n + "AtW5EndAccept", cause.loss, CameraStep::End, 0, K::End, milliseconds{5000}, h});
    }
    cases = inBothModes(std::move(cases));
    // Without a poll to wait for, the camera's abort ends the block's wait the moment it is in.
    for (auto& c : cases) {
        if (c.lowLatency && c.abortAfter == milliseconds{5})
            c.abortAfter = milliseconds{0};
    }
    return cases;
}

class LostReplies : public ::testing::TestWithParam<LostReply> {};

TEST_P(LostReplies, AbortFrameAfterTheWaitAndTheEndingsLog) {
    const LostReply& c = GetParam();
    CameraFaults faults;
    LineFaults line;
    const StepRef at{c.step, c.block};
    switch (c.loss) {
    case Loss::Silent:
        faults.silentAt = at;
        break;
    case Loss::StrayStart:
        line.strayStartAt = at;
        break;
    case Loss::CameraAbort:
        line.abortAt = at;
        break;
    }
    JobRun run(faults, line, c.lowLatency);
    run.go();

    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.log.log(), withReason(started + c.log, run.outcome));
    auto expected = framesUpTo(c.lastFrame, c.block == 0 ? 3 : c.block);
    expected.push_back(K::Abort);
    EXPECT_EQ(run.camera.kinds(), expected);
    expectFrameBytes(run.camera.written());
    EXPECT_EQ(run.abortDelayAfter(c.lastFrame), c.abortAfter);
    // The AbortFrame brought the camera back to its application.
    EXPECT_EQ(run.camera.bootLoader().state(), BootState::Application);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, LostReplies, ::testing::ValuesIn(lostReplies()), caseName<LostReply>);

// --- The camera's AbortFrame in front of its reply: only the block loop heeds it ---------------

struct AbortThenReply {
    std::string name;
    CameraStep step;
    std::uint32_t block;
    int result;
    std::string log;
    bool lowLatency = false;
};

class AbortBeforeReply : public ::testing::TestWithParam<AbortThenReply> {};

TEST_P(AbortBeforeReply, HeededOnlyWhileABlockIsAwaited) {
    const auto& c = GetParam();
    LineFaults line;
    line.abortBeforeReplyAt = StepRef{c.step, c.block};
    JobRun run({}, line, c.lowLatency);
    run.go();

    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.log.log(), withReason(started + c.log, run.outcome));
    expectFrameBytes(run.camera.written());
    if (c.result == 0) {
        EXPECT_EQ(run.camera.kinds(), framesUpTo(K::End));
        ASSERT_TRUE(run.camera.verdict());
        EXPECT_TRUE(run.camera.verdict()->matches);
    } else {
        auto expected = framesUpTo(K::Block, c.block);
        expected.push_back(K::Abort);
        EXPECT_EQ(run.camera.kinds(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FaultMatrix, AbortBeforeReply,
    ::testing::ValuesIn(inBothModes<AbortThenReply>(
        {AbortThenReply{"EnterAck", CameraStep::Enter, 0, 0, commandOk + progress(100) + succeeded},
         AbortThenReply{"HeaderRequest", CameraStep::Start, 0, 0, commandOk + progress(100) + succeeded},
         // Cleared before the first block: an abort before the blocks is not held against them.
         AbortThenReply{"HeaderAccept", CameraStep::Header, 0, 0, commandOk + progress(100) + succeeded},
         AbortThenReply{"Block1", CameraStep::Block, 1, -1, commandOk + progress(0) + failed},
         AbortThenReply{"EndAccept", CameraStep::End, 0, 0, commandOk + progress(100) + succeeded}})),
    caseName<AbortThenReply>);

// --- BlockNak a hundred times, then BlockAck ----------------------------------------------------

class HundredNaks : public ::testing::TestWithParam<bool> {};

TEST_P(HundredNaks, ThenAckResendsTheSameBlockAndSucceeds) {
    CameraFaults faults;
    faults.nakBlocks = {{2, 100}};
    JobRun run(faults, {}, GetParam());
    run.go();

    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.log.log(), withReason(started + commandOk + progress(100) + succeeded, run.outcome));
    std::vector<WrittenFrame> block2;
    for (const auto& frame : run.camera.written()) {
        if (frame.kind == K::Block && frame.block == 2)
            block2.push_back(frame);
    }
    ASSERT_EQ(block2.size(), 101u);
    for (const auto& frame : block2) {
        EXPECT_EQ(frame.bytes, block2.front().bytes);
    }
    expectFrameBytes(run.camera.written());
    // The same percentage each time the block goes out again.
    const auto shown = run.log.shown();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), started + commandOk + progress(34)), 101);
    ASSERT_TRUE(run.camera.verdict());
    EXPECT_TRUE(run.camera.verdict()->matches);
    EXPECT_EQ(run.camera.verdict()->image, imageOf(imageLength));
    if (GetParam()) {
        // Only the pauses that give the camera time; every reply was waited for, not polled.
        EXPECT_EQ(run.clock.pauses(), (std::vector<milliseconds>{milliseconds{500}, milliseconds{1000}}));
    }
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, HundredNaks, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "LowLatency" : "Standard"; });

// --- Disturbances that must change nothing --------------------------------------------------------

struct Harmless {
    std::string name;
    LineFaults line;
    bool lowLatency = false;
};

class HarmlessLine : public ::testing::TestWithParam<Harmless> {};

TEST_P(HarmlessLine, SameFramesSameLogSuccess) {
    JobRun clean({}, {}, false);
    clean.go();
    JobRun disturbed({}, GetParam().line, GetParam().lowLatency);
    disturbed.go();

    EXPECT_EQ(disturbed.result, 0);
    EXPECT_EQ(disturbed.log.log(), started + commandOk + progress(100) + succeeded);
    const auto a = clean.camera.written();
    const auto b = disturbed.camera.written();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].bytes, b[i].bytes) << "frame " << i;
    }
    ASSERT_TRUE(disturbed.camera.verdict());
    EXPECT_TRUE(disturbed.camera.verdict()->matches);
}

LineFaults noise(std::uint32_t bytes, bool between, std::uint32_t parts = 1) {
    LineFaults line;
    line.noiseBytes = bytes;
    line.noiseReadsBetween = between;
    line.splitParts = parts;
    return line;
}

INSTANTIATE_TEST_SUITE_P(
    FaultMatrix, HarmlessLine,
    ::testing::ValuesIn(inBothModes<Harmless>({{"NoiseInFrontOfEveryReply", noise(9, false)},
                                               {"NoiseReadsBetweenReplies", noise(64, true)},
                                               {"NoiseAndRepliesSplitOverReads", noise(3, true, 4)},
                                               {"RepliesInSingleBytes", noise(0, false, 5)}})),
    caseName<Harmless>);

// --- The owner cancels at each wait ---------------------------------------------------------------

struct CancelCase {
    std::string name;
    K at;                // cancel as the camera receives this frame
    std::uint32_t block; // Block: which one
    std::string log;
    bool lowLatency = false;
};

class CancelAt : public ::testing::TestWithParam<CancelCase> {};

TEST_P(CancelAt, AbortFrameGoesOutAtOnceAndTheLogSaysSo) {
    const auto& c = GetParam();
    JobRun run({}, {}, c.lowLatency);
    run.camera.onFrame = [&](const WrittenFrame& frame) {
        if (frame.kind == c.at && (c.at != K::Block || frame.block == c.block))
            run.cancel = true;
    };
    run.go();

    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.log.log(), withReason(started + c.log, run.outcome));
    auto expected = framesUpTo(c.at, c.block == 0 ? 3 : c.block);
    expected.push_back(K::Abort);
    EXPECT_EQ(run.camera.kinds(), expected);
    expectFrameBytes(run.camera.written());
    // Noticed before the wait's first pause.
    EXPECT_EQ(run.abortDelayAfter(c.at), milliseconds{0});
    EXPECT_EQ(run.camera.bootLoader().state(), BootState::Application);
}

INSTANTIATE_TEST_SUITE_P(
    FaultMatrix, CancelAt,
    ::testing::ValuesIn(inBothModes<CancelCase>(
        {CancelCase{"AwaitingEnterAck", K::EnterUpgrade, 0, cancelled + failed},
         CancelCase{"AwaitingHeaderRequest", K::Start, 0, commandOk + cancelled + failed},
         CancelCase{"AwaitingHeaderAccept", K::Header, 0, commandOk + cancelled + failed},
         CancelCase{"AwaitingBlock1", K::Block, 1, commandOk + progress(0) + cancelled + failed},
         CancelCase{"AwaitingBlock3", K::Block, 3, commandOk + progress(68) + cancelled + failed},
         CancelCase{"AwaitingEndAccept", K::End, 0, commandOk + cancelled + failed}})),
    caseName<CancelCase>);

} // namespace
} // namespace orvane::testing
