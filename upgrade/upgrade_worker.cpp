#include "upgrade/upgrade_worker.h"

#include "text/string_table.h"

namespace orvane {

UpgradeWorker::UpgradeWorker(SerialLink& port, ReplyFlags& flags, Clock& clock, UpgradeInputs& inputs,
                             UpgradeLog& log)
    : port_(port), flags_(flags), clock_(clock), inputs_(inputs), log_(log) {}

UpgradeWorker::~UpgradeWorker() {
    cancel();
    wait();
}

void UpgradeWorker::refuse(TextLanguage language) {
    log_.appendLog(std::string(textOf(IDS_JOB_BUSY, language)) + "\r\n");
}

bool UpgradeWorker::start(const UpgradeSettings& settings,
                          std::function<void(const UpgradeOutcome& outcome)> onFinished,
                          ImageObserver* imageObserver) {
    const std::lock_guard lock(threadMutex_);
    if (running_.load()) {
        refuse(settings.language);
        return false;
    }
    auto slot = JobSlot::tryTake(port_);
    if (!slot) {
        refuse(settings.language);
        return false;
    }
    if (thread_.joinable()) {
        thread_.join(); // the previous job has ended; its thread is on its way out
    }
    cancelRequested_.store(false);
    running_.store(true);
    try {
        startThread(std::move(*slot), settings, std::move(onFinished), imageObserver);
    } catch (...) {
        running_.store(false); // no thread: the slot went with the unstarted job
        throw;
    }
    return true;
}

void UpgradeWorker::startThread(JobSlot slot, const UpgradeSettings& settings,
                                std::function<void(const UpgradeOutcome&)> onFinished,
                                ImageObserver* imageObserver) {
    thread_ = std::thread([this, held = std::move(slot), settings, onFinished = std::move(onFinished),
                           imageObserver]() mutable {
        const UpgradeJobContext context{
            port_, flags_, clock_, inputs_, log_, settings, &cancelRequested_, imageObserver};
        const UpgradeOutcome outcome = runUpgradeJob(context, std::move(held));
        {
            const std::lock_guard resultLock(resultMutex_);
            lastOutcome_ = outcome;
        }
        // Nothing may leave the thread: an exception here would end the whole program.
        try {
            if (onFinished) {
                onFinished(outcome);
            }
        } catch (...) {
        }
        running_.store(false);
    });
}

void UpgradeWorker::cancel() {
    if (running_.load()) {
        cancelRequested_.store(true);
        flags_.raised.ring(); // a job waiting for a reply hears it at once
    }
}

UpgradeOutcome UpgradeWorker::wait() {
    const std::lock_guard lock(threadMutex_);
    if (thread_.joinable()) {
        thread_.join();
    }
    const std::lock_guard resultLock(resultMutex_);
    return lastOutcome_.value_or(UpgradeOutcome{});
}

bool UpgradeWorker::running() const {
    return running_.load();
}

std::optional<UpgradeOutcome> UpgradeWorker::lastOutcome() const {
    const std::lock_guard lock(resultMutex_);
    return lastOutcome_;
}

} // namespace orvane
