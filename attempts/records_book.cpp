// Attempts kept in the store of a place: one store for the run, shared by its cameras.
#include "attempts/attempt_record.h"
#include "imagetools/sha256.h"
#include "records/record_id.h"
#include "records/store_place.h"

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace orvane {
namespace {

class StoreBook final : public RecordsBook {
  public:
    StoreBook(std::unique_ptr<RecordStore> store, RecordsChoice choice)
        : store_(std::move(store)), choice_(std::move(choice)), writer_(thisWriter()) {}

    std::unique_ptr<AttemptRecorder> begin(const AttemptFacts& facts, RecordTrouble trouble) override;

    // The status, and whether this is the first record of a spell without the line's server.
    std::pair<StoreStatus, bool> put(const UpgradeRecord& record) {
        const std::lock_guard lock(mutex_);
        const StoreStatus status = store_->put(record);
        const bool waiting = status.ok && status.deferred;
        const bool newlyWaiting = waiting && !waitingSaid_;
        if (status.ok) {
            waitingSaid_ = waiting;
        }
        return {status, newlyWaiting};
    }

  private:
    std::unique_ptr<RecordStore> store_;
    const RecordsChoice choice_;
    const WriterIdentity writer_;
    std::mutex mutex_;
    bool waitingSaid_ = false;
};

class StoreRecorder final : public AttemptRecorder {
  public:
    StoreRecorder(StoreBook& book, UpgradeRecord record, RecordTrouble trouble)
        : book_(book), record_(std::move(record)), trouble_(std::move(trouble)) {
        startKept_ = keep();
    }

    bool startKept() const override { return startKept_; }

    void imageLoaded(std::span<const std::uint8_t> bytes) override {
        record_.imageSize = bytes.size();
        try {
            record_.imageSha256 = hexDigest(sha256Of(bytes));
        } catch (const std::runtime_error&) {
            // No digest on a broken installation; the record keeps the rest.
        }
        // Kept at once: a run cut short still says which image it was sending.
        keep();
    }

    void complete(const UpgradeOutcome& outcome) override {
        const auto elapsed = std::chrono::steady_clock::now() - started_;
        completeRecord(record_, outcome,
                       std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
        keep();
    }

  private:
    // A deferred record (waiting in the spool for the line's server) is kept.
    bool keep() {
        const auto [status, newlyWaiting] = book_.put(record_);
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
    UpgradeRecord record_;
    RecordTrouble trouble_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    bool troubled_ = false;
    bool startKept_ = false;
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
