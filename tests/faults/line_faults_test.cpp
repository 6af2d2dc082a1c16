// The faults that are about the line itself, over real pseudo-terminals with the real port and
// receiver: a device that vanishes in the middle of the blocks and comes back, a port another
// process holds, a port that disappears between its open and the first write, a disturbed line,
// and a cancel while the camera is mid-transfer.
#include "serial/serial_port.h"
#include "sim/virtual_camera.h"
#include "support/temp_folder.h"
#include "upgrade/job_rig.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_job.h"
#include "upgrade/upgrade_worker.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

const std::string started = "Start\r\n";
const std::string commandOk = "Send Command successful !\r\n";
const std::string failed = "Update was failed !\r\n";
const std::string succeeded = "Update was successful !\r\n";
std::string progress(unsigned percent) {
    return "Send updated datas  progress:" + std::to_string(percent) + "%\r\n";
}

// The real port, with every read's start and every write's frame and answer noted.
class WatchedLink final : public SerialLink {
  public:
    explicit WatchedLink(SerialLink& inner) : inner_(inner) {}

    struct Write {
        std::uint8_t command; // second byte of the frame (0xF9 the AbortFrame, 0x00 the Pelco-P command)
        int result;
        SteadyClock::time_point at;
    };

    int openPort(std::string_view name, int baud, int parity, int size, int stop) override {
        return inner_.openPort(name, baud, parity, size, stop);
    }
    int closePort() override { return inner_.closePort(); }
    int writePort(std::span<const std::uint8_t> bytes) override {
        const int result = inner_.writePort(bytes);
        const std::lock_guard lock(mutex_);
        writes_.push_back({bytes.size() > 1 ? bytes[1] : std::uint8_t{0}, result, SteadyClock::now()});
        return result;
    }
    int readPort(std::span<std::uint8_t> buffer) override {
        {
            const std::lock_guard lock(mutex_);
            readStarts_.push_back(SteadyClock::now());
        }
        return inner_.readPort(buffer);
    }
    bool isOpen() const override { return inner_.isOpen(); }
    int lastError() const override { return inner_.lastError(); }
    bool deviceGone() const override { return inner_.deviceGone(); }
    void setReadMode(ReadMode mode) override { inner_.setReadMode(mode); }
    ReadMode readMode() const override { return inner_.readMode(); }

    std::vector<Write> writes() const {
        const std::lock_guard lock(mutex_);
        return writes_;
    }
    std::size_t readsSince(SteadyClock::time_point from) const {
        const std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(
            std::count_if(readStarts_.begin(), readStarts_.end(), [&](auto at) { return at >= from; }));
    }

  private:
    SerialLink& inner_;
    mutable std::mutex mutex_;
    std::vector<Write> writes_;
    std::vector<SteadyClock::time_point> readStarts_;
};

// The camera as unforgiving as a real boot loader: the job's pauses and reopens are held to.
VirtualCameraOptions strictCamera() {
    VirtualCameraOptions options;
    options.strict = true;
    return options;
}

std::vector<HostFrameKind> kindsOf(const std::vector<HostFrame>& frames) {
    std::vector<HostFrameKind> kinds;
    for (const auto& frame : frames)
        kinds.push_back(frame.kind);
    return kinds;
}

// The pieces a front end puts together, on the real port.
struct Host {
    SerialPort port;
    WatchedLink link{port};
    ReplyFlags flags;
    SystemClock clock;
    ScriptedInputs inputs;
    RecordingLog log;
    ReplyReceiver receiver{link, flags, clock};

    UpgradeOutcome outcome;
    bool lowLatency = false;
    int run(Clock& jobClock) {
        UpgradeSettings settings;
        settings.lowLatency = lowLatency;
        const UpgradeJobContext context{link, flags, jobClock, inputs, log, settings};
        outcome = runUpgradeJob(context);
        return outcome.result;
    }
    int run() { return run(clock); }
};

constexpr std::size_t imageLength = 4000; // four blocks: 0 %, 25 %, 51 %, 76 %

// In both reply modes: a low-latency job that waits for the receiver's signal still notices
// the hang-up at once.
class DeviceVanishing : public ::testing::TestWithParam<bool> {};

TEST_P(DeviceVanishing, MidTransferEndsAtOnceWithTheReasonAndANewJobSucceedsOnceItIsBack) {
    const test::TempFolder folder;
    VirtualCameraOptions options = strictCamera();
    options.linkPath = folder.file("camera");
    options.faults.vanishAtBlock = 3;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    const Bytes image = imageOf(imageLength);
    TempFile file(image);

    Host host;
    host.lowLatency = GetParam();
    host.inputs.path = file.path();
    host.inputs.portNames = {options.linkPath};
    EXPECT_EQ(host.run(), -1);
    const auto ended = SteadyClock::now();

    // The last progress line stays, then why, then the failure.
    EXPECT_EQ(host.outcome.reason, UpgradeReason::DeviceGone);
    EXPECT_EQ(host.outcome.step, UpgradeStep::Block);
    EXPECT_EQ(host.outcome.block, 3U);
    EXPECT_EQ(host.log.log(), started + commandOk + progress(51) + "The serial device " + options.linkPath +
                                  " disappeared (unplugged?): plug the adapter back in and start again\r\n" +
                                  failed);
    // The camera saw the blocks up to the third; nothing more was written into the dead port.
    EXPECT_EQ(
        kindsOf(camera.receivedFrames()),
        (std::vector<HostFrameKind>{HostFrameKind::EnterUpgrade, HostFrameKind::Start, HostFrameKind::Header,
                                    HostFrameKind::Block, HostFrameKind::Block, HostFrameKind::Block}));
    const auto writes = host.link.writes();
    ASSERT_GE(writes.size(), 1u);
    const auto block3 = writes.back();
    EXPECT_EQ(block3.command, 0xF8) << "no AbortFrame after the device went";
    // Ended on the hang-up, not after the block's ten seconds (a loaded machine adds some).
    EXPECT_LT(ended - block3.at, 1s);
    // A read on the hung-up device waits out its time limit (628 ms): no spinning.
    EXPECT_LE(host.link.readsSince(block3.at), 5u);
    const auto verdict = camera.lastVerdict();
    ASSERT_TRUE(verdict);
    EXPECT_FALSE(verdict->finished);

    // The device is back (a new pseudo-terminal behind the same name): the next job succeeds.
    camera.setFaults({});
    ASSERT_TRUE(camera.comeBack()) << camera.error();
    camera.clearReceived();
    EXPECT_EQ(host.run(), 0);
    EXPECT_EQ(host.log.log(), started + commandOk + progress(100) + succeeded);
    const auto second = camera.waitForVerdict(2s);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->matches) << second->summary;
    EXPECT_EQ(second->image, image);
}

INSTANTIATE_TEST_SUITE_P(LineFaults, DeviceVanishing, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "LowLatency" : "Standard"; });

// Another program holds the port: flock(1) keeps an exclusive lock on the device, as a
// terminal program or a second copy of this tool would.
class PortHolder {
  public:
    explicit PortHolder(const std::string& device) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        // A process group of its own, so that the shell's sleep goes with it.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        std::string script = "echo locked; exec sleep 60";
        const char* argv[] = {"flock", "--exclusive",  "--close", device.c_str(),
                              "-c",    script.c_str(), nullptr};
        const int spawned =
            ::posix_spawnp(&pid_, "flock", &actions, &attributes, const_cast<char**>(argv), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        char line[16] = {};
        locked_ =
            spawned == 0 && ::read(out[0], line, sizeof line - 1) > 0 && std::strncmp(line, "locked", 6) == 0;
        ::close(out[0]);
    }
    ~PortHolder() { release(); }
    void release() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    bool locked() const { return locked_; }

  private:
    pid_t pid_ = -1;
    bool locked_ = false;
};

TEST(LineFaults, PortHeldByAnotherProcessEndsWithTheReasonAndSendsNothing) {
    VirtualCamera camera(strictCamera());
    ASSERT_TRUE(camera.start()) << camera.error();
    const std::string device = camera.devicePath();
    PortHolder holder(device);
    if (!holder.locked())
        GTEST_SKIP() << "flock(1) could not lock " << device;
    TempFile file(imageOf(imageLength));

    Host host;
    host.inputs.path = file.path();
    host.inputs.portNames = {device};
    host.log.replaceLog("Earlier line\r\n");
    EXPECT_EQ(host.run(), -1);
    // The holder is named: the technician knows which program to close.
    EXPECT_TRUE(host.log.log().starts_with("Earlier line\r\nCannot open serial port " + device +
                                           ": the port is held by flock (pid "))
        << host.log.log();
    EXPECT_TRUE(host.link.writes().empty());
    EXPECT_TRUE(camera.receivedFrames().empty());

    holder.release();
    EXPECT_EQ(host.run(), 0);
    EXPECT_EQ(host.log.log(), started + commandOk + progress(100) + succeeded);
}

// Unplugged after the job opened the port and before it wrote the EnterUpgradeCommand: the
// address is read in between, so reading it pulls the plug.
class UnpluggingInputs final : public UpgradeInputs {
  public:
    UnpluggingInputs(VirtualCamera& camera, std::string image) : camera_(camera), image_(std::move(image)) {}
    std::optional<std::string> imagePath() override { return image_; }
    std::optional<std::string> portName() override { return camera_.devicePath(); }
    std::optional<int> lineSpeed() override { return 9600; }
    std::optional<int> address() override {
        camera_.vanish();
        return 1;
    }
    std::optional<int> upgradeSpeed() override { return 9600; }

  private:
    VirtualCamera& camera_;
    std::string image_;
};

TEST(LineFaults, PortDisappearingBetweenOpenAndWriteEndsInFailureWithNothingDelivered) {
    VirtualCamera camera(strictCamera());
    ASSERT_TRUE(camera.start()) << camera.error();
    TempFile file(imageOf(imageLength));
    Host host;
    UnpluggingInputs inputs(camera, file.path());
    // The ten seconds of W1 on a fake clock: nothing can answer a device that is gone.
    FakeClock jobClock;
    const UpgradeJobContext context{host.link, host.flags, jobClock, inputs, host.log};
    const UpgradeOutcome outcome = runUpgradeJob(context);
    EXPECT_EQ(outcome.reason, UpgradeReason::DeviceGone);
    EXPECT_EQ(outcome.step, UpgradeStep::Enter);

    EXPECT_EQ(host.log.log(), outcome.reasonText + "\r\n" + failed);
    const auto writes = host.link.writes();
    ASSERT_EQ(writes.size(), 1u) << "no AbortFrame into a dead port";
    EXPECT_EQ(writes[0].result, 0) << "EnterUpgradeCommand";
    EXPECT_EQ(jobClock.elapsed(), 0ms) << "no waiting for an answer that cannot come";
    EXPECT_TRUE(camera.receivedFrames().empty());
}

// Noise without 0xA5 in front of every reply and replies that come in pieces change nothing.
TEST(LineFaults, NoiseAndSplitRepliesOnARealLineChangeNothing) {
    VirtualCameraOptions options = strictCamera();
    options.faults.noiseBytes = 9;
    options.faults.splitParts = 3;
    options.faults.splitGap = 30ms;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    const Bytes image = imageOf(imageLength);
    TempFile file(image);
    Host host;
    host.inputs.path = file.path();
    host.inputs.portNames = {camera.portPath()};
    EXPECT_EQ(host.run(), 0);
    EXPECT_EQ(host.log.log(), started + commandOk + progress(100) + succeeded);
    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->matches) << verdict->summary;
    EXPECT_EQ(verdict->image, image);
}

// The owner cancels (Ctrl-C, closing the dialog) while the camera holds a block unanswered.
TEST(LineFaults, CancelMidTransferPutsTheAbortFrameOnTheLine) {
    VirtualCameraOptions options = strictCamera();
    options.faults.silentAt = StepRef{CameraStep::Block, 2};
    // The camera's thread may be inside cancel() when the job ends: the worker is let go only
    // under the same lock, so the call never reaches a worker that is gone.
    std::mutex ownerMutex;
    UpgradeWorker* owner = nullptr;
    options.onEvent = [&](const CameraEvent& event) {
        if (event.kind == CameraEvent::Kind::Received && event.frameKind == HostFrameKind::Block &&
            event.bytes.size() > 3 && event.bytes[3] == 2) {
            const std::lock_guard lock(ownerMutex);
            if (owner != nullptr)
                owner->cancel();
        }
    };
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    TempFile file(imageOf(imageLength));
    Host host;
    host.inputs.path = file.path();
    host.inputs.portNames = {camera.portPath()};
    {
        UpgradeWorker worker(host.link, host.flags, host.clock, host.inputs, host.log);
        {
            const std::lock_guard lock(ownerMutex);
            owner = &worker;
        }
        const bool jobStarted = worker.start({UpgradeTarget::MainBoard});
        const UpgradeOutcome outcome = worker.wait();
        {
            const std::lock_guard lock(ownerMutex);
            owner = nullptr;
        }
        ASSERT_TRUE(jobStarted);
        EXPECT_EQ(outcome.ending, UpgradeEnding::Cancelled);
    }
    EXPECT_EQ(host.log.log(), started + commandOk + progress(25) + "Upgrade cancelled\r\n" + failed);
    ASSERT_TRUE(camera.waitForVerdict(2s));
    const auto frames = camera.receivedFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().kind, HostFrameKind::Abort);
    EXPECT_EQ(frames.back().bytes, (Bytes{0xA5, 0xF9, 0x00, 0x5C, 0xAF}));
    EXPECT_FALSE(camera.lastVerdict()->finished);
}

} // namespace
} // namespace orvane::testing
