// Records in a SQLite file: the default store of a desk, and the local spool of a line's
// PostgreSQL store. Write-ahead log with full sync, so an attempt written is on the disk
// before the job goes on, and many processes write at once (a busy file is waited for).
#pragma once

#include "records/record_store.h"

#include <memory>
#include <string>

struct sqlite3;

namespace orvane {

class SqliteStore : public RecordStore {
  public:
    // Opens path, making it and its folder when missing. Refused with a reason, the file left
    // untouched: a file that is not a records database, one of a newer schema than this
    // program knows. Marks this host's running records whose writer is gone as interrupted.
    static std::unique_ptr<SqliteStore> open(const std::string& path, StoreStatus& status);
    // Opens path only to read it, so a file on a read-only medium or in a folder of another
    // user can be listed; nothing is made, migrated or marked (a file of an older schema is
    // read as it would read migrated). A file of no records yet (an empty database) is refused
    // with that reason, as are the files open() refuses.
    static std::unique_ptr<SqliteStore> openForReading(const std::string& path, StoreStatus& status);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    StoreStatus put(const UpgradeRecord& record) override;
    StoreStatus putProgress(const UpgradeRecord& record) override;
    std::vector<UpgradeRecord> find(const RecordFilter& filter, StoreStatus& status) override;

    // The spool of a PostgreSQL store: records kept here until the server has them.
    StoreStatus putPending(const UpgradeRecord& record);
    StoreStatus putPendingProgress(const UpgradeRecord& record);
    std::vector<UpgradeRecord> pending(StoreStatus& status);
    // Sent to the server named "host/database", which holds it now.
    StoreStatus markSent(const std::string& id, const std::string& sentTo);

    // Takes an open database of that schema version over; open() is the way in.
    SqliteStore(sqlite3* database, int version);

  private:
    StoreStatus write(const UpgradeRecord& record, bool pending);
    StoreStatus writeUnsynced(const UpgradeRecord& record, bool pending);
    void markInterrupted();
    std::vector<UpgradeRecord> query(const RecordFilter& filter, StoreStatus& status);

    sqlite3* database_;
    int version_; // below this program's only in a file opened to read
};

// The schema this program writes; a database of a higher version is refused.
inline constexpr int recordSchemaVersion = 3;

} // namespace orvane
