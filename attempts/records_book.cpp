// Attempts kept in the store of a place: one store for the run, shared by its cameras.
#include "attempts/attempt_record.h"
#include "attempts/progress_writer.h"
#include "imagetools/sha256.h"
#include "records/record_id.h"
#include "records/store_place.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace orvane {
namespace {

// How often records waiting for the line's server are sent again: each try may wait for a
// server's connect timeout.
constexpr std::chrono::seconds sendEvery{3};

// Also a source of the progress writer's: while records wait for the line's server, it sends
// them now and then, so they reach the server once it is back even if no attempt follows.
class StoreBook final : public RecordsBook, public ProgressSource {
  public:
    StoreBook(std::unique_ptr<RecordStore> store, RecordsChoice choice)
        : store_(std::move(store)), choice_(std::move(choice)), writer_(thisWriter()) {
        progress_.add(*this);
    }
    ~StoreBook() override { progress_.remove(*this); }
    StoreBook(const StoreBook&) = delete;
    StoreBook& operator=(const StoreBook&) = delete;

    std::unique_ptr<AttemptRecorder> begin(const AttemptFacts& facts, RecordTrouble trouble) override;

    ProgressWriter& progress() { return progress_; }

    // The status, and whether this is the first record of a spell without the line's server.
    std::pair<StoreStatus, bool> put(const UpgradeRecord& record, bool progress = false) {
        const std::lock_guard lock(mutex_);
        const StoreStatus status = progress ? store_->putProgress(record) : store_->put(record);
        const bool waiting = status.ok && status.deferred;
        const bool newlyWaiting = waiting && !waitingSaid_;
        if (status.ok) {
            waitingSaid_ = waiting;
        }
        return {status, newlyWaiting};
    }

    void writeProgress() override {
        const std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (!waitingSaid_ || now - lastSend_ < sendEvery) {
            return;
        }
        lastSend_ = now;
        const StoreStatus status = store_->sendWaiting();
        waitingSaid_ = !status.ok || status.deferred;
    }

  private:
    std::unique_ptr<RecordStore> store_;
    const RecordsChoice choice_;
    const WriterIdentity writer_;
    std::mutex mutex_;
    bool waitingSaid_ = false; // records wait for the line's server
    std::chrono::steady_clock::time_point lastSend_;
    ProgressWriter progress_; // last: its thread ends before the store goes
};

class StoreRecorder final : public AttemptRecorder, public ProgressSource {
  public:
    StoreRecorder(StoreBook& book, UpgradeRecord record, RecordTrouble trouble)
        : book_(book), record_(std::move(record)), trouble_(std::move(trouble)) {
        startKept_ = keep();
        book_.progress().add(*this);
    }
    ~StoreRecorder() override { book_.progress().remove(*this); }
    StoreRecorder(const StoreRecorder&) = delete;
    StoreRecorder& operator=(const StoreRecorder&) = delete;

    bool startKept() const override { return startKept_; }

    void imageLoaded(std::span<const std::uint8_t> bytes) override {
        const std::lock_guard lock(mutex_);
        record_.imageSize = bytes.size();
        try {
            record_.imageSha256 = hexDigest(sha256Of(bytes));
        } catch (const std::runtime_error&) {
            // No digest on a broken installation; the record keeps the rest.
        }
        // Kept at once: a run cut short still says which image it was sending.
        keep();
    }

    // On the job's thread: only noted, the progress writer keeps it.
    void reached(UpgradeStep step, std::uint32_t block, std::uint32_t blocks) override {
        step_.store(step, std::memory_order_relaxed);
        block_.store(block, std::memory_order_relaxed);
        blocks_.store(blocks, std::memory_order_relaxed);
        moved_.store(true, std::memory_order_release);
    }

    void writeProgress() override {
        if (!moved_.exchange(false, std::memory_order_acquire)) {
            return;
        }
        const std::lock_guard lock(mutex_);
        if (completed_) {
            return;
        }
        record_.step = std::string(stepName(step_.load(std::memory_order_relaxed)));
        record_.block = block_.load(std::memory_order_relaxed);
        record_.blocks = blocks_.load(std::memory_order_relaxed);
        record_.durationMs = elapsedMs();
        keep(true);
    }

    void complete(const UpgradeOutcome& outcome) override {
        const std::lock_guard lock(mutex_);
        completed_ = true;
        completeRecord(record_, outcome, elapsedMs());
        keep();
    }

  private:
    std::int64_t elapsedMs() const {
        const auto elapsed = std::chrono::steady_clock::now() - started_;
        return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    }

    // A deferred record (waiting in the spool for the line's server) is kept.
    bool keep(bool progress = false) {
        const auto [status, newlyWaiting] = book_.put(record_, progress);
        if (!status.ok && !troubled_) {
            troubled_ = true;
            tell({status.reason, false});
        } else if (newlyWaiting) {
            tell({status.reason, true});
        }
        return status.ok;
    }

    void tell(const RecordTroubleNote& note) const {
        if (trouble_) {
            trouble_(note);
        }
    }

    StoreBook& book_;
    std::mutex mutex_; // the record, between the job's thread and the progress writer's
    UpgradeRecord record_;
    RecordTrouble trouble_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    bool troubled_ = false;
    bool startKept_ = false;
    bool completed_ = false;
    std::atomic<UpgradeStep> step_{UpgradeStep::Image};
    std::atomic<std::uint32_t> block_{0};
    std::atomic<std::uint32_t> blocks_{0};
    std::atomic<bool> moved_{false};
};

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::unique_ptr<AttemptRecorder> StoreBook::begin(const AttemptFacts& facts, RecordTrouble trouble) {
    UpgradeRecord record =
        runningRecord(facts, choice_, describePort(facts.port, PortRoots{.proc = {}}), writer_, nowMs());
    record.id = newRecordId();
    if (record.plug.empty()) {
        record.plug = record.id; // a plug of its own
    }
    return std::make_unique<StoreRecorder>(*this, std::move(record), std::move(trouble));
}

} // namespace

OpenedBook openRecordsBook(const RecordsChoice& choice) {
    OpenedStore opened = openRecordStore(storePlaceOf(choice.place));
    OpenedBook book;
    book.unsupportedHere = opened.unsupportedHere;
    if (!opened.store) {
        book.refusal = opened.status.ok ? std::string() : opened.status.reason;
        return book;
    }
    book.book = std::make_unique<StoreBook>(std::move(opened.store), choice);
    return book;
}

} // namespace orvane
