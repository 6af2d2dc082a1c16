// The worker the front ends run jobs through: one job at a time, cancel, results.
#include "job_rig.h"
#include "upgrade/upgrade_worker.h"

#include <condition_variable>
#include <future>
#include <gtest/gtest.h>

namespace orvane::testing {
namespace {

// Holds the job inside its write of the EnterUpgradeCommand until opened.
class Gate {
  public:
    void hold(ScriptedCamera& camera) {
        camera.onWrite = [this](Sent kind) {
            if (kind != Sent::Enter) {
                return;
            }
            std::unique_lock lock(mutex_);
            reached_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        };
    }
    void waitReached() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return reached_; });
    }
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool open_ = false;
};

struct WorkerRig {
    ReplyFlags flags;
    FakeClock clock;
    ScriptedCamera camera{flags, clock};
    ScriptedInputs inputs;
    RecordingLog log;
    TempFile file{imageOf(3000)};
    Gate gate;
    std::optional<UpgradeWorker> worker;

    WorkerRig() {
        inputs.path = file.path();
        worker.emplace(camera, flags, clock, inputs, log);
    }
};

// Every worker case in both reply modes: the low-latency job waits on the receiver's signal,
// which a cancel from the owner's thread rings.
class UpgradeWorkerModes : public ::testing::TestWithParam<bool> {
  protected:
    UpgradeSettings settings(UpgradeTarget target, TextLanguage language = TextLanguage::English) const {
        return UpgradeSettings{target, language, 0, GetParam()};
    }
};

TEST_P(UpgradeWorkerModes, SecondStartIsRefusedWithALineAndChangesNothing) {
    WorkerRig rig;
    rig.gate.hold(rig.camera);
    std::promise<int> finished;
    ASSERT_TRUE(rig.worker->start(settings(UpgradeTarget::MainBoard), [&](const UpgradeOutcome& outcome) {
        finished.set_value(outcome.result);
    }));
    rig.gate.waitReached();
    EXPECT_TRUE(rig.worker->running());

    EXPECT_FALSE(rig.worker->start(settings(UpgradeTarget::Special)));
    EXPECT_EQ(rig.log.log(), "An upgrade is already running !\r\n");

    // Another worker on the same port is refused too, in its own job's language.
    RecordingLog otherLog;
    UpgradeWorker other(rig.camera, rig.flags, rig.clock, rig.inputs, otherLog);
    EXPECT_FALSE(other.start(settings(UpgradeTarget::MotorBoard, TextLanguage::Chinese)));
    EXPECT_EQ(otherLog.log(), "升级正在进行中！\r\n");

    rig.gate.open();
    EXPECT_EQ(rig.worker->wait().result, 0);
    EXPECT_EQ(rig.camera.written(Sent::Enter).at(0)[4], 0xAA) << "the running job kept its board";
    EXPECT_EQ(finished.get_future().get(), 0);
    EXPECT_FALSE(rig.worker->running());
    EXPECT_EQ(rig.camera.written(Sent::Enter).size(), 1U);

    // Once the job has ended, the next start is taken.
    ASSERT_TRUE(rig.worker->start(settings(UpgradeTarget::MotorBoard)));
    EXPECT_EQ(rig.worker->wait().result, 0);
    EXPECT_EQ(rig.camera.written(Sent::Enter).size(), 2U);
    EXPECT_EQ(rig.camera.written(Sent::Enter).back()[4], 0x55);
}

TEST_P(UpgradeWorkerModes, CancelSendsTheAbortFrameAndFails) {
    WorkerRig rig;
    rig.gate.hold(rig.camera);
    rig.camera.silentTo = {Sent::Enter};
    ASSERT_TRUE(rig.worker->start(settings(UpgradeTarget::MainBoard)));
    rig.gate.waitReached();
    rig.worker->cancel();
    rig.gate.open();
    EXPECT_EQ(rig.worker->wait().ending, UpgradeEnding::Cancelled);
    EXPECT_EQ(rig.worker->lastOutcome()->result, -1);
    EXPECT_EQ(rig.log.log(), "Start\r\nUpgrade cancelled\r\nUpdate was failed !\r\n");
    EXPECT_EQ(rig.camera.written(Sent::Abort).size(), 1U);
    EXPECT_EQ(rig.clock.pauses().size(), 0U) << "noticed before the first pause";
}

TEST_P(UpgradeWorkerModes, DestructionCancelsTheRunningJob) {
    WorkerRig rig;
    rig.gate.hold(rig.camera);
    rig.camera.silentTo = {Sent::Enter};
    ASSERT_TRUE(rig.worker->start(settings(UpgradeTarget::MainBoard)));
    rig.gate.waitReached();
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        rig.gate.open();
    });
    rig.worker.reset(); // what closing the dialog does
    opener.join();
    EXPECT_EQ(rig.camera.written(Sent::Abort).size(), 1U);
    EXPECT_FALSE(rig.camera.held()) << "the port is free for the next job";
}

INSTANTIATE_TEST_SUITE_P(UpgradeWorker, UpgradeWorkerModes, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "LowLatency" : "Standard"; });

} // namespace
} // namespace orvane::testing
