// The receiver thread and whole upgrades in real time over pseudo-terminals: the real
// serial port, the receiver and the job against the virtual camera, which confirms what it
// received byte for byte.
#include "job_rig.h"
#include "serial/serial_port.h"
#include "sim/virtual_camera.h"
#include "support/wait.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_worker.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace orvane::testing {
namespace {

using test::waitUntil;

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// Passes everything to the real port and counts the reads.
class CountingLink final : public SerialLink {
  public:
    explicit CountingLink(SerialLink& inner) : inner_(inner) {}
    std::atomic<int> reads{0};

    int openPort(std::string_view name, int baud, int parity, int size, int stop) override {
        return inner_.openPort(name, baud, parity, size, stop);
    }
    int closePort() override { return inner_.closePort(); }
    int writePort(std::span<const std::uint8_t> bytes) override { return inner_.writePort(bytes); }
    int readPort(std::span<std::uint8_t> buffer) override {
        ++reads;
        return inner_.readPort(buffer);
    }
    bool isOpen() const override { return inner_.isOpen(); }
    int lastError() const override { return inner_.lastError(); }
    void setReadMode(ReadMode mode) override { inner_.setReadMode(mode); }
    ReadMode readMode() const override { return inner_.readMode(); }

  private:
    SerialLink& inner_;
};

// The camera as unforgiving as a real boot loader, so that a host whose pauses or reopens
// regress fails here.
VirtualCameraOptions strictCamera() {
    VirtualCameraOptions options;
    options.strict = true;
    return options;
}

TEST(ReplyReceiverThread, ReadsOnlyWhileThePortIsOpenAndStopsQuickly) {
    PseudoTerminal pty;
    std::string error;
    ASSERT_TRUE(pty.open(9600, error)) << error;
    SerialPort port;
    CountingLink link(port);
    ReplyFlags flags;
    ReplyReceiver receiver(link, flags);

    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(link.reads.load(), 0) << "no read while no port is open";

    const auto opened = SteadyClock::now();
    ASSERT_EQ(port.openPort(pty.slavePath(), 9600, parityNone, 8, oneStopBit), 1);
    ASSERT_TRUE(waitUntil([&] { return link.reads.load() > 0; }, 3s));
    // One second at most, plus what a loaded machine adds.
    EXPECT_LT(SteadyClock::now() - opened, 1500ms);

    // A reply in two pieces, far enough apart to arrive in two reads.
    const std::uint8_t first[] = {0xA5, 0xF6};
    const std::uint8_t rest[] = {0x00, 0x53, 0xAF};
    ASSERT_EQ(::write(pty.masterFd(), first, sizeof first), 2);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(::write(pty.masterFd(), rest, sizeof rest), 3);
    EXPECT_TRUE(waitUntil([&] { return load(flags.enterAcknowledged) == 1; }, 3s));

    ASSERT_NE(port.closePort(), 0);
    const int readsAtClose = link.reads.load();
    std::this_thread::sleep_for(1100ms);
    EXPECT_LE(link.reads.load(), readsAtClose + 1) << "at most a read that had already begun";

    // Reading as bytes come, an open that is rung ends the closed-port pause at once.
    port.setReadMode(ReadMode::LowLatency);
    const int readsWhileClosed = link.reads.load();
    const auto reopened = SteadyClock::now();
    ASSERT_EQ(port.openPort(pty.slavePath(), 9600, parityNone, 8, oneStopBit), 1);
    flags.portOpened.ring();
    ASSERT_TRUE(waitUntil([&] { return link.reads.load() > readsWhileClosed; }, 3s));
    EXPECT_LT(SteadyClock::now() - reopened, 300ms);
    ASSERT_NE(port.closePort(), 0); // wakes the read, so the stop below is quick

    const auto stopping = SteadyClock::now();
    receiver.stop();
    EXPECT_LT(SteadyClock::now() - stopping, 300ms);
    EXPECT_FALSE(receiver.running());
}

// The job, the receiver and the real port, as the dialog and the command line put them together.
struct Host {
    SerialPort port;
    ReplyFlags flags;
    SystemClock clock;
    ScriptedInputs inputs;
    RecordingLog log;
    ReplyReceiver receiver{port, flags, clock};
    UpgradeWorker worker{port, flags, clock, inputs, log};
};

struct EndToEndCase {
    const char* name;
    UpgradeTarget target;
    int upgradeSpeed;
    std::size_t imageSize = 3000;
    bool pacing = false; // the camera takes each byte's wire time
    bool lowLatency = false;
};

class EndToEnd : public ::testing::TestWithParam<EndToEndCase> {};

TEST_P(EndToEnd, CameraHoldsTheImageByteForByte) {
    const EndToEndCase& c = GetParam();
    VirtualCameraOptions options = strictCamera();
    options.upgradeSpeed = c.upgradeSpeed;
    options.pacing = c.pacing;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    const Bytes image = imageOf(c.imageSize);
    TempFile file(image);

    Host host;
    host.inputs.path = file.path();
    host.inputs.portNames = {camera.portPath()};
    host.inputs.upgrade = c.upgradeSpeed;
    ASSERT_TRUE(host.worker.start({c.target, TextLanguage::English, 0, c.lowLatency}));
    EXPECT_EQ(host.worker.wait().result, 0);
    EXPECT_EQ(host.log.log(), "Start\r\nSend Command successful !\r\nSend updated datas  "
                              "progress:100%\r\nUpdate was successful !\r\n");

    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->matches) << verdict->summary;
    EXPECT_EQ(verdict->target, c.target);
    EXPECT_EQ(verdict->image, image);
    EXPECT_TRUE(camera.receivedFrames(HostFrameKind::Garbled).empty()) << "every frame at the camera's speed";
}

INSTANTIATE_TEST_SUITE_P(
    Upgrade, EndToEnd,
    ::testing::Values(
        EndToEndCase{"MainBoardAtDefaultSpeeds", UpgradeTarget::MainBoard, 9600},
        EndToEndCase{"SpecialWithUpgradeSpeed", UpgradeTarget::Special, 115200},
        // One full 1030-byte block, 8.6 s on the wire: longer than
        // the fixed write limit. About 12 s in all.
        EndToEndCase{"SlowestUpgradeSpeedPaced", UpgradeTarget::MainBoard, 1200, 1024, true},
        // Replies taken as they come, on a line paced at its rate.
        EndToEndCase{"LowLatencyPaced115200", UpgradeTarget::MainBoard, 115200, 20000, true, true},
        EndToEndCase{"LowLatencyPaced921600", UpgradeTarget::MainBoard, 921600, 60000, true, true}),
    [](const auto& param) { return std::string(param.param.name); });

// A camera that answers with no delay at all, twenty upgrades in a row on one port, receiver
// and worker: none may lose a reply to the one before (a flag raised early, cleared late).
class BackToBack : public ::testing::TestWithParam<bool> {};

// Real time, with the pauses that give the camera time (500 ms, 1000 ms) cut to a tenth so that
// twenty jobs take seconds; the polls, which make up the time limits, stay as they are. The
// camera is therefore the forgiving one, which does not hold the host to those pauses.
class BriskClock final : public Clock {
  public:
    void sleepFor(std::chrono::milliseconds duration) override {
        real_.sleepFor(duration >= std::chrono::milliseconds{500} ? duration / 10 : duration);
    }
    SteadyClock::time_point now() const override { return real_.now(); }
    bool waitAtMost(const std::function<bool()>& met, std::chrono::milliseconds timeout,
                    FlagSignal& signal) override {
        return real_.waitAtMost(met, timeout, signal);
    }

  private:
    SystemClock real_;
};

TEST_P(BackToBack, TwentyUpgradesAllSucceed) {
    VirtualCamera camera;
    ASSERT_TRUE(camera.start()) << camera.error();
    const Bytes image = imageOf(1100);
    TempFile file(image);
    Host host;
    host.inputs.path = file.path();
    host.inputs.portNames = {camera.portPath()};
    BriskClock brisk;
    UpgradeWorker worker(host.port, host.flags, brisk, host.inputs, host.log);
    for (int run = 0; run < 20; ++run) {
        camera.clearReceived();
        ASSERT_TRUE(worker.start({UpgradeTarget::MainBoard, TextLanguage::English, 0, GetParam()}));
        ASSERT_EQ(worker.wait().result, 0) << "upgrade " << run + 1 << ": " << host.log.log();
        const auto verdict = camera.waitForVerdict(2s);
        ASSERT_TRUE(verdict) << "upgrade " << run + 1;
        EXPECT_EQ(verdict->image, image) << "upgrade " << run + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, BackToBack, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "LowLatency" : "Standard"; });

TEST(EndToEnd, UnacceptedEndFrameTimesOutAfterFiveSecondsWithTheAbortFrame) {
    VirtualCameraOptions options = strictCamera();
    options.faults.silentAt = StepRef{CameraStep::End, 0};
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    TempFile file(imageOf(1500));

    Host host;
    host.inputs.path = file.path();
    host.inputs.portNames = {camera.portPath()};
    ASSERT_TRUE(host.worker.start({UpgradeTarget::MotorBoard}));
    const UpgradeOutcome outcome = host.worker.wait();
    EXPECT_EQ(outcome.reason, UpgradeReason::EndNotAccepted);
    EXPECT_EQ(host.log.log(),
              "Start\r\nSend Command successful !\r\n" + outcome.reasonText + "\r\nUpdate was failed !\r\n");

    ASSERT_TRUE(waitUntil([&] { return !camera.receivedFrames(HostFrameKind::Abort).empty(); }, 2s));
    const auto ends = camera.receivedFrames(HostFrameKind::End);
    const auto aborts = camera.receivedFrames(HostFrameKind::Abort);
    ASSERT_EQ(ends.size(), 1U);
    ASSERT_EQ(aborts.size(), 1U);
    const auto waited = aborts[0].time - ends[0].time;
    EXPECT_GE(waited, 4900ms);
    EXPECT_LT(waited, 6500ms);
    EXPECT_EQ(camera.receivedFrames(HostFrameKind::Block).size(), 2U);
}

// Two cameras on two lines in one process at once: each job has its own port, receiver,
// board and language, and a second job on a busy port is turned away.
TEST(EndToEnd, TwoJobsOnTwoPortsRunAtOnce) {
    VirtualCamera first(strictCamera());
    VirtualCamera second(strictCamera());
    ASSERT_TRUE(first.start()) << first.error();
    ASSERT_TRUE(second.start()) << second.error();
    const Bytes image = imageOf(2500);
    TempFile file(image);

    Host a;
    Host b;
    for (auto [host, camera] : {std::pair{&a, &first}, std::pair{&b, &second}}) {
        host->inputs.path = file.path();
        host->inputs.portNames = {camera->portPath()};
    }
    ASSERT_TRUE(a.worker.start({UpgradeTarget::MainBoard, TextLanguage::English}));
    ASSERT_TRUE(b.worker.start({UpgradeTarget::MotorBoard, TextLanguage::Chinese}));
    RecordingLog refusedLog;
    UpgradeWorker intruder(a.port, a.flags, a.clock, a.inputs, refusedLog);
    EXPECT_FALSE(intruder.start({UpgradeTarget::Special}));
    EXPECT_EQ(refusedLog.log(), "An upgrade is already running !\r\n");

    EXPECT_EQ(a.worker.wait().result, 0);
    EXPECT_EQ(b.worker.wait().result, 0);
    EXPECT_EQ(a.log.log(), "Start\r\nSend Command successful !\r\nSend updated datas  "
                           "progress:100%\r\nUpdate was successful !\r\n");
    EXPECT_EQ(b.log.log(), "开始\r\n发送指令成功！\r\n发送更新数据:进度：100%\r\n升级成功！\r\n");
    for (auto [camera, target] :
         {std::pair{&first, UpgradeTarget::MainBoard}, std::pair{&second, UpgradeTarget::MotorBoard}}) {
        const auto verdict = camera->waitForVerdict(2s);
        ASSERT_TRUE(verdict);
        EXPECT_EQ(verdict->target, target);
        EXPECT_EQ(verdict->image, image);
    }
}

} // namespace
} // namespace orvane::testing
