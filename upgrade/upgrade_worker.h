// How a front end runs an upgrade: on a thread of its own, one at a time on its port, with a
// way to give it up. The dialog and the command line both drive jobs through it; it owns
// nothing of the user interface, only the thread.
#pragma once

#include "upgrade/upgrade_job.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace orvane {

class UpgradeWorker {
  public:
    // Everything passed in must outlive the worker. The log and the inputs are called from
    // the job's thread.
    UpgradeWorker(SerialLink& port, ReplyFlags& flags, Clock& clock, UpgradeInputs& inputs, UpgradeLog& log);
    // Cancels a running job (it sends the AbortFrame and fails) and waits for its thread.
    ~UpgradeWorker();

    UpgradeWorker(const UpgradeWorker&) = delete;
    UpgradeWorker& operator=(const UpgradeWorker&) = delete;

    // Starts a job with these settings on a new thread. While a job runs on this port (this
    // worker's or another's) the start is refused: one line saying so is appended to the log,
    // nothing is sent, and the answer is false.
    // onFinished, if given, is called on the job's thread with the outcome as the job ends;
    // it must not call start() or wait() of this worker itself. imageObserver, if given, is
    // told of the image the job read (on the job's thread) and must outlive the job.
    bool start(const UpgradeSettings& settings,
               std::function<void(const UpgradeOutcome& outcome)> onFinished = {},
               ImageObserver* imageObserver = nullptr);

    // Asks the running job to give up before its next frame or at its next pause (within
    // 100 ms; at once in a low-latency wait; at the end of the 500 ms pause after the EnterAck):
    // it sends the AbortFrame and ends as cancelled. Does nothing when no job runs; a job whose
    // EndFrame the camera has accepted finishes as a success.
    void cancel();

    // Waits for the job's thread; answers the last job's outcome (unusable if none ran).
    UpgradeOutcome wait();

    bool running() const;
    std::optional<UpgradeOutcome> lastOutcome() const;

  private:
    void refuse(TextLanguage language);
    void startThread(JobSlot slot, const UpgradeSettings& settings,
                     std::function<void(const UpgradeOutcome&)> onFinished, ImageObserver* imageObserver);

    SerialLink& port_;
    ReplyFlags& flags_;
    Clock& clock_;
    UpgradeInputs& inputs_;
    UpgradeLog& log_;

    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> running_{false};
    mutable std::mutex resultMutex_;
    std::optional<UpgradeOutcome> lastOutcome_;
    std::mutex threadMutex_; // guards thread_ between start(), wait() and the destructor
    std::thread thread_;
};

} // namespace orvane
