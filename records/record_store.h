// Where records are kept, behind one interface for the local SQLite file and a line's
// PostgreSQL database. A store never throws and never ends the process: a record that cannot
// be kept is a status with a reason, and the upgrade goes on.
#pragma once

#include "records/upgrade_record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct StoreStatus {
    bool ok = true;
    // Kept, but not yet where it belongs: a line's server did not answer, and the record
    // waits in the station's own file until it does.
    bool deferred = false;
    std::string reason; // why not, for the technician: "the disk is full", "the server ... does not answer"
};

inline StoreStatus storeFailure(std::string reason) {
    return {false, false, std::move(reason)};
}

// Which records to read; every field left empty lets all through.
struct RecordFilter {
    std::optional<std::int64_t> sinceMs = std::nullopt; // started at or after
    std::optional<std::int64_t> untilMs = std::nullopt; // started before
    std::optional<std::string> port = std::nullopt;     // as given, its device or its by-id link
    std::optional<std::string> usbSerial = std::nullopt;
    std::optional<std::string> imageSha256 = std::nullopt;
    std::optional<std::string> ending = std::nullopt;
    std::optional<std::string> station = std::nullopt;
    std::optional<std::string> unit = std::nullopt;
    std::optional<std::string> job = std::nullopt;         // the line's released job
    std::optional<std::int64_t> jobVersion = std::nullopt; // with job: only this version of it
    std::optional<std::size_t> limit = std::nullopt;
    // A desk's file only: leaves out the records it has sent to a line's server, which that
    // server holds (so a reader of both counts each attempt once).
    bool leaveOutSent = false;
};

class RecordStore {
  public:
    virtual ~RecordStore() = default;
    // Keeps the record as it is now: a new one (running) or the completion of one already
    // kept under the same id.
    virtual StoreStatus put(const UpgradeRecord& record) = 0;
    // Keeps how far a running attempt has come, without waiting for the disk: lost in a power
    // cut at worst, where the start and the completion are not.
    virtual StoreStatus putProgress(const UpgradeRecord& record) { return put(record); }
    // Sends what waits for a server that was away (ok with deferred set while some still wait);
    // a store on this computer has nothing waiting.
    virtual StoreStatus sendWaiting() { return {}; }
    // The newest first. A running record whose writer is gone on this host reads interrupted.
    virtual std::vector<UpgradeRecord> find(const RecordFilter& filter, StoreStatus& status) = 0;
};

} // namespace orvane
