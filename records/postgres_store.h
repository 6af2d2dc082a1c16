// Records in a line's PostgreSQL database, where every station writes. Each record is kept
// in the station's local SQLite file first and marked as not yet sent; it is sent when the
// server answers, now or with a later record, and the record's id makes a second send change
// nothing. So a server that is down, or a network that is cut, loses no record. A writer needs
// no more than SELECT, INSERT and UPDATE on tables its owner made; the server's notices are
// never the user's to read.
#pragma once

#include "records/record_store.h"
#include "records/sqlite_store.h"

#include <memory>
#include <mutex>
#include <string>

struct pg_conn;

namespace orvane {

// What a store is opened for: writing (through the spool, making the schema if its role may),
// reading only, or making and migrating the schema as the database's owner.
enum class ServerUse { write, read, init };

class PostgresStore : public RecordStore {
  public:
    // uri: "postgresql://..." or "postgres://..."; spoolPath: the local SQLite file. Refused
    // when the spool cannot be opened, or when the server answers with a schema newer than
    // this program knows. A server that does not answer is no refusal: records wait.
    static std::unique_ptr<PostgresStore> open(const std::string& uri, const std::string& spoolPath,
                                               StoreStatus& status);
    // Only to read: nothing is made, migrated or spooled, so a role that may only SELECT
    // reads. A server without records yet, or one that does not answer, is refused.
    static std::unique_ptr<PostgresStore> openForReading(const std::string& uri, StoreStatus& status);
    // Makes or migrates the schema, as the database's owner does once for a line.
    static StoreStatus initialise(const std::string& uri);
    // spool: the writer's; null for the other uses.
    PostgresStore(std::string uri, std::unique_ptr<SqliteStore> spool, ServerUse use);
    ~PostgresStore() override;
    PostgresStore(const PostgresStore&) = delete;
    PostgresStore& operator=(const PostgresStore&) = delete;

    // Kept in the spool, then everything waiting is sent. ok with deferred set when the
    // server could not be reached: the record waits in the spool.
    StoreStatus put(const UpgradeRecord& record) override;
    StoreStatus putProgress(const UpgradeRecord& record) override;
    StoreStatus sendWaiting() override;
    // From the server; a server that does not answer is a failure with its reason.
    std::vector<UpgradeRecord> find(const RecordFilter& filter, StoreStatus& status) override;
    // Sends what waits in the spool; answers how many still wait.
    std::size_t flush(StoreStatus& status);

  private:
    StoreStatus connect();
    StoreStatus checkSchema(pg_conn* connection);
    StoreStatus send(const UpgradeRecord& record);
    StoreStatus keep(const UpgradeRecord& record, bool progress);

    std::string uri_;
    ServerUse use_;
    std::string sentTo_; // the server's "host/database", once reached
    int version_ = 0;    // the server's schema, once reached
    std::unique_ptr<SqliteStore> spool_;
    std::mutex mutex_;
    pg_conn* connection_ = nullptr;
};

// Whether where names a PostgreSQL server rather than a file.
bool isPostgresUri(const std::string& where);

} // namespace orvane
