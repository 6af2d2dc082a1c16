// Every upgrade attempt a front end runs is kept as a record: written as running when the job
// starts and completed when it ends. The front ends (the command line, both dialogs) all make
// their records here, and say in their own way, once an attempt, that one could not be kept.
#pragma once

#include "upgrade/frames.h"
#include "upgrade/upgrade_job.h"
#include "upgrade/upgrade_outcome.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

// Where and as whom records are kept, the same for every attempt of a run.
struct RecordsChoice {
    std::string
        place{}; // as --records takes it: a path, "none", a postgresql:// URI; empty: the default file
    bool required = false;      // an attempt whose record cannot be kept must not begin
    std::string station{};      // empty: the host's name
    std::string operatorName{}; // empty: the login name
    std::string toolVersion{};
};

// What the front end gives the job; the image's size and digest come from the job's own read.
struct AttemptFacts {
    std::string port; // as the user gave it
    std::string imagePath;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    int address = 1;
    UpgradeTarget target = UpgradeTarget::MainBoard;
    bool lowLatency = false;
    // The camera and where this attempt stands among a station's: a desk's single job has no
    // unit unless one is given, its port for a slot, a plug of its own and attempt 1.
    std::optional<std::string> unit{}; // the camera's label, already checked
    std::string slot{};                // the nickname, else the port as given
    std::string plug{};                // the same for every attempt of one plug; empty: its own id
    unsigned attempt = 1;              // 1 for a plug's first attempt, 2 and on for its retries
    // A station's released job (--job) and its version; none otherwise. The image then came
    // from the line's server, not from a path on this computer.
    std::optional<std::string> job{};
    std::optional<std::int64_t> jobVersion{};
};

// Why a record is not where it was asked to be, in the store's own words: not kept at all
// (said at most once an attempt), or kept on this computer until the line's server answers
// (said once a run, and again only after the server has answered in between).
struct RecordTroubleNote {
    std::string reason;
    bool waiting = false;
};
using RecordTrouble = std::function<void(const RecordTroubleNote& note)>;

std::string recordTroubleText(const RecordTroubleNote& note, TextLanguage language);

// One attempt's record. Pass it to the job as its image observer; complete it with the
// outcome, on any thread, once.
class AttemptRecorder : public ImageObserver {
  public:
    // Whether the running record was kept (a spooled one counts as kept).
    virtual bool startKept() const = 0;
    virtual void complete(const UpgradeOutcome& outcome) = 0;
};

class RecordsBook {
  public:
    virtual ~RecordsBook() = default;
    // Writes the running record of a new attempt now; trouble hears of the first failure.
    // Safe to call from several threads.
    virtual std::unique_ptr<AttemptRecorder> begin(const AttemptFacts& facts, RecordTrouble trouble) = 0;
};

struct OpenedBook {
    std::unique_ptr<RecordsBook> book; // null: nothing is kept
    bool unsupportedHere = false;      // the place is one this system cannot write: a usage error
    std::string refusal;               // why not, when the place was wanted and could not be opened
};

OpenedBook openRecordsBook(const RecordsChoice& choice);

} // namespace orvane
