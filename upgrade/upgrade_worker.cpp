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

void UpgradeWorker::refuse() {
    // Said in the jobs' language without changing the calling thread's own.
    const auto language = languageFlag.load(std::memory_order_relaxed) == 1 ? TextLanguage::English
                                                                             : TextLanguage::Chinese;
    log_.appendLog(std::string(textOf(IDS_JOB_BUSY, language)) + "\r\n");
}

bool UpgradeWorker::start(UpgradeTarget target, std::function<void(int result)> onFinished) {
    const std::lock_guard lock(threadMutex_);
    if (running_.load()) {
        refuse();
        return false;
    }
    // Taken before upgradeTarget is stored, so a refused start leaves a running job's target alone.
    auto slot = JobSlot::tryTake();
    if (!slot) {
        refuse();
        return false;
    }
    if (thread_.joinable()) {
        thread_.join(); // the previous job has ended; its thread is on its way out
    }
    cancelRequested_.store(false);
    upgradeTarget.store(static_cast<std::uint8_t>(target), std::memory_order_relaxed);
    running_.store(true);
    try {
        startThread(std::move(*slot), std::move(onFinished));
    } catch (...) {
        running_.store(false); // no thread: the slot went with the unstarted job
        throw;
    }
    return true;
}

void UpgradeWorker::startThread(JobSlot slot, std::function<void(int result)> onFinished) {
    thread_ = std::thread([this, held = std::move(slot), onFinished = std::move(onFinished)]() mutable {
        const UpgradeJobContext context{port_, flags_, clock_, inputs_, log_, upgradeTarget, &cancelRequested_};
        const int result = runUpgradeJob(context, std::move(held));
        {
            const std::lock_guard resultLock(resultMutex_);
            lastResult_ = result;
        }
        if (onFinished) {
            onFinished(result);
        }
        running_.store(false);
    });
}

void UpgradeWorker::cancel() {
    if (running_.load()) {
        cancelRequested_.store(true);
    }
}

int UpgradeWorker::wait() {
    const std::lock_guard lock(threadMutex_);
    if (thread_.joinable()) {
        thread_.join();
    }
    const std::lock_guard resultLock(resultMutex_);
    return lastResult_.value_or(-1);
}

bool UpgradeWorker::running() const {
    return running_.load();
}

std::optional<int> UpgradeWorker::lastResult() const {
    const std::lock_guard lock(resultMutex_);
    return lastResult_;
}

} // namespace orvane
