// The PostgreSQL store against a real PostgreSQL 15 server that the test starts itself: the
// same records as the SQLite store, none lost or doubled while the server is down.
#include "postgres_server.h"
#include "records/line_jobs.h"
#include "records/postgres_store.h"
#include "records/record_id.h"
#include "records/sqlite_store.h"
#include "records/writer_identity.h"
#include "support/missing_package.h"
#include "support/temp_folder.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace orvane {
namespace {

namespace fs = std::filesystem;

class LineDatabase : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = std::make_unique<test::PostgresServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_->available()) {
            if (!server_->installed())
                GTEST_SKIP() << test::missingPackage("postgresql-15", server_->whyNot());
            GTEST_SKIP() << "no PostgreSQL server for this test: " << server_->whyNot();
        }
        ASSERT_TRUE(server_->psql(
            "DROP TABLE IF EXISTS records, orvane_schema, jobs, audit, stations, station_commands"));
        ::testing::internal::CaptureStderr();
        capturing_ = true;
    }

    // The server's notices are its log's, never the user's.
    void TearDown() override {
        if (capturing_) {
            const std::string said = ::testing::internal::GetCapturedStderr();
            EXPECT_EQ(said.find("NOTICE"), std::string::npos) << said;
        }
    }

    std::unique_ptr<PostgresStore> open() {
        StoreStatus status;
        auto store = PostgresStore::open(server_->uri(), spool_.string(), status);
        EXPECT_TRUE(status.ok) << status.reason;
        return store;
    }

    static UpgradeRecord attempt(std::int64_t startedMs) {
        UpgradeRecord record;
        const WriterIdentity self = thisWriter();
        record.id = newRecordId();
        record.startedMs = startedMs;
        record.port = "/dev/pts/7";
        record.host = self.host;
        record.processId = self.processId;
        record.bootId = self.bootId;
        record.ending = "succeeded";
        return record;
    }

    static std::unique_ptr<test::PostgresServer> server_;
    bool capturing_ = false;
    const test::TempFolder folder_;
    const fs::path spool_ = folder_.path() / "spool.sqlite";
};

std::unique_ptr<test::PostgresServer> LineDatabase::server_;

TEST_F(LineDatabase, KeepsEveryFieldAndFindsByFilter) {
    auto store = open();
    UpgradeRecord odd = attempt(5000);
    odd.operatorName = "O'Brien; DROP TABLE records; --\n\"night\"";
    odd.byId = "/dev/serial/by-id/<script>alert(1)</script>";
    odd.imageSha256 = "c0ffee";
    odd.usbSerial = "QP000001";
    odd.job = "cam-fw";
    odd.jobVersion = 2;
    UpgradeRecord earlier = attempt(4000);
    earlier.job = "cam-fw";
    earlier.jobVersion = 1;
    ASSERT_TRUE(store->put(earlier).ok);
    const StoreStatus kept = store->put(odd);
    ASSERT_TRUE(kept.ok && !kept.deferred) << kept.reason;
    StoreStatus status;
    const auto found = store->find({.imageSha256 = "C0FFEE", .station = std::nullopt}, status);
    ASSERT_TRUE(status.ok) << status.reason;
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0], odd);
    EXPECT_EQ(store->find({.limit = 5}, status).size(), 2U);
    const auto second = store->find({.job = "cam-fw", .jobVersion = 2, .limit = 5}, status);
    ASSERT_EQ(second.size(), 1U) << status.reason;
    EXPECT_EQ(second[0], odd);
}

TEST_F(LineDatabase, ServerStoppedMidRunEveryRecordArrivesExactlyOnce) {
    auto store = open();
    std::vector<std::string> ids;
    const auto putOne = [&](std::int64_t at, bool expectDeferred) {
        UpgradeRecord record = attempt(at);
        ids.push_back(record.id);
        const StoreStatus status = store->put(record);
        EXPECT_TRUE(status.ok) << status.reason;
        EXPECT_EQ(status.deferred, expectDeferred) << status.reason;
        record.durationMs = 900; // the completion of the same attempt
        EXPECT_TRUE(store->put(record).ok);
    };
    putOne(1, false);
    putOne(2, false);
    ASSERT_TRUE(server_->stop());
    for (int i = 3; i <= 6; ++i) {
        putOne(i, true);
    }
    ASSERT_TRUE(server_->start());
    putOne(7, false);
    StoreStatus status;
    EXPECT_EQ(store->flush(status), 0U) << status.reason;
    const auto found = store->find({}, status);
    ASSERT_TRUE(status.ok) << status.reason;
    ASSERT_EQ(found.size(), ids.size());
    for (const UpgradeRecord& record : found) {
        EXPECT_EQ(record.durationMs, 900) << "its completion arrived too";
    }
}

// A station killed mid-attempt left it running on the server; the next writer on that host
// marks it interrupted there too, for every other station reading the line's records.
TEST_F(LineDatabase, AnAttemptCutShortIsMarkedOnTheServerByTheNextWriter) {
    UpgradeRecord cut = attempt(3000);
    cut.ending = "running";
    cut.bootId = "a-boot-long-gone";
    ASSERT_TRUE(open()->put(cut).ok);
    const std::string marked =
        "SELECT 1 / (SELECT count(*) FROM records WHERE id = '" + cut.id + "' AND ending = '";
    ASSERT_TRUE(server_->psql(marked + "running')"));
    open();
    EXPECT_TRUE(server_->psql(marked + "interrupted')"));
}

TEST_F(LineDatabase, ANewerSchemaIsRefusedAndLeftAlone) {
    open();
    ASSERT_TRUE(server_->psql("UPDATE orvane_schema SET version = 9"));
    StoreStatus status;
    EXPECT_EQ(PostgresStore::open(server_->uri(), spool_.string(), status), nullptr);
    EXPECT_NE(status.reason.find("newer Orvane (schema 9"), std::string::npos) << status.reason;
    EXPECT_TRUE(server_->psql("SELECT 1 FROM orvane_schema WHERE version = 9"));
}

// Opened while the server was down, the store meets the newer schema only as it writes: every
// record is refused there, not only the first, and a later check is made afresh.
TEST_F(LineDatabase, ANewerSchemaMetLaterRefusesEveryRecord) {
    open();
    ASSERT_TRUE(server_->psql("UPDATE orvane_schema SET version = 9"));
    ASSERT_TRUE(server_->stop());
    auto store = open();
    ASSERT_TRUE(server_->start());
    for (int i = 1; i <= 2; ++i) {
        const StoreStatus status = store->put(attempt(i));
        EXPECT_FALSE(status.ok) << "record " << i;
        EXPECT_NE(status.reason.find("newer Orvane (schema 9"), std::string::npos) << status.reason;
    }
    EXPECT_TRUE(server_->psql("SELECT 1 / (SELECT (count(*) = 0)::int FROM records)")) << "written";
    ASSERT_TRUE(server_->psql("UPDATE orvane_schema SET version = " + std::to_string(recordSchemaVersion)));
    StoreStatus status;
    EXPECT_EQ(store->flush(status), 0U) << status.reason;
}

TEST_F(LineDatabase, TheServersNoticesNeverReachStandardError) {
    auto store = open();
    ASSERT_TRUE(server_->psqlScript(
        "CREATE OR REPLACE FUNCTION noisy() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "RAISE NOTICE 'relation \"records\" already exists, skipping'; RETURN NEW; END $$;"
        "CREATE TRIGGER noisy BEFORE INSERT OR UPDATE ON records FOR EACH ROW EXECUTE FUNCTION noisy();"));
    const StoreStatus kept = store->put(attempt(1));
    EXPECT_TRUE(kept.ok && !kept.deferred) << kept.reason;
}

// What the desk's file has sent is marked with the server that holds it, and left out when a
// reader asks, so that one reading both counts each attempt once.
TEST_F(LineDatabase, TheSpoolMarksWhatTheServerHoldsAndLeavesItOutWhenAsked) {
    auto store = open();
    const UpgradeRecord sent = attempt(1);
    ASSERT_TRUE(store->put(sent).ok);
    ASSERT_TRUE(server_->stop());
    const UpgradeRecord waiting = attempt(2);
    EXPECT_TRUE(store->put(waiting).deferred);
    ASSERT_TRUE(server_->start());
    store.reset();
    StoreStatus status;
    const auto spool = SqliteStore::openForReading(spool_.string(), status);
    ASSERT_TRUE(spool) << status.reason;
    const auto all = spool->find({}, status);
    const auto unsent = spool->find({.leaveOutSent = true}, status);
    ASSERT_EQ(all.size(), 2U);
    ASSERT_EQ(unsent.size(), 1U);
    EXPECT_EQ(unsent[0].id, waiting.id);
    const std::string& uri = server_->uri();
    EXPECT_EQ(all[1].sentTo, uri.substr(uri.find("host=") + 5) + "/postgres");
}

// A line's database of the first schema, as the release before made it: read as it is by a
// reader, then brought up in place by a writer, its records whole.
TEST_F(LineDatabase, AFirstSchemaDatabaseIsReadAsItIsAndMigratedInPlace) {
    std::string create = "CREATE TABLE records (id TEXT PRIMARY KEY";
    for (const char* column :
         {"started_ms B", "duration_ms B",  "station T", "operator T",   "port T",       "device T",
          "by_id T",      "driver T",       "vid T",     "pid T",        "usb_serial T", "image_path T",
          "image_size B", "image_sha256 T", "target T",  "address B",    "line_speed B", "upgrade_speed B",
          "reply_mode T", "ending T",       "step T",    "block B",      "blocks B",     "reason T",
          "resends B",    "tool_version T", "host T",    "process_id B", "boot_id T"}) {
        const std::string text = column;
        create += ", " + text.substr(0, text.size() - 1) + (text.back() == 'B' ? "BIGINT" : "TEXT");
    }
    ASSERT_TRUE(server_->psqlScript(create + ");CREATE TABLE orvane_schema (version integer NOT NULL);"
                                             "INSERT INTO orvane_schema VALUES (1);"
                                             "INSERT INTO records (id, started_ms, port, ending) "
                                             "VALUES ('old-1', 1000, '/dev/ttyUSB3', 'succeeded');"));
    const auto expectOld = [](const std::vector<UpgradeRecord>& found) {
        ASSERT_EQ(found.size(), 1U);
        EXPECT_EQ(found[0].slot, "/dev/ttyUSB3");
        EXPECT_EQ(found[0].plug, "old-1");
        EXPECT_EQ(found[0].attempt, 1U);
        EXPECT_FALSE(found[0].unit);
    };
    StoreStatus status;
    expectOld(PostgresStore::openForReading(server_->uri(), status)->find({}, status));
    EXPECT_TRUE(server_->psql("SELECT 1 / (SELECT count(*) FROM orvane_schema WHERE version = 1)"));
    expectOld(open()->find({}, status));
    EXPECT_TRUE(server_->psql("SELECT 1 / (SELECT count(*) FROM orvane_schema WHERE version = 3)"));
}

// A block of the line's SQL exactly as the station guide gives it: the one holding marker.
std::string guideSql(const std::string& marker) {
    std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/docs/station.md");
    const std::string guide((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t start = guide.rfind("```sql\n", guide.find(marker)) + 7;
    return guide.substr(start, guide.find("```", start) - start);
}

// "abc", whose SHA-256 every reference gives.
constexpr std::array<std::uint8_t, 3> abc{'a', 'b', 'c'};
constexpr const char* abcSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

enum class Use { read, write, init, grant, release, note };

struct RoleCase {
    const char* role;
    Use use;
    const char* said; // empty: allowed; else part of the reason it was not
};

StoreStatus jobsUse(const std::string& uri, Use use) {
    JobsStatus status;
    const auto jobs = LineJobs::open(uri, status);
    std::int64_t version = 0;
    if (use == Use::release) {
        status = jobs->release({"cam-fw", "fw.bin", abc, abcSha256, {}, {}, {}}, version);
    } else {
        status = jobs->noteStation(auditStationStarted, "bench-1", "pc-1", "cam-fw", 1);
    }
    return {status.ok, false, status.reason};
}

TEST_F(LineDatabase, EachRoleOfTheGuideMayDoWhatItNeedsAndNoMore) {
    ASSERT_TRUE(server_->psqlScript(
        "DROP DATABASE IF EXISTS orvane_line;"
        "DROP ROLE IF EXISTS orvane_owner, orvane_engineer, orvane_station, orvane_reader;\n" +
        guideSql("CREATE ROLE orvane_owner")));
    const RoleCase cases[] = {
        {"orvane_owner", Use::read, "holds no records yet"}, // reading made nothing...
        {"orvane_reader", Use::read, "holds no records yet"},
        {"orvane_station", Use::write, "run orvane-cli records --init"},
        {"orvane_engineer", Use::release, "its owner must run orvane-cli records --init"},
        {"orvane_station", Use::init, "permission denied"},
        {"orvane_reader", Use::init, "permission denied"},
        {"orvane_owner", Use::init, ""},
        {"orvane_owner", Use::grant, ""},
        {"orvane_station", Use::write, ""},
        {"orvane_station", Use::read, ""},
        {"orvane_reader", Use::read, ""},
        {"orvane_reader", Use::write, "permission denied"},
        {"orvane_engineer", Use::release, ""},
        {"orvane_station", Use::release,
         "orvane_station may not release jobs: ask the line's owner to grant it the "
         "engineer role"},
        {"orvane_reader", Use::release, "may not release jobs"},
        {"orvane_station", Use::note, ""},
        {"orvane_reader", Use::note, "may not write the line's audit"},
    };
    int n = 0;
    for (const RoleCase& c : cases) {
        SCOPED_TRACE(std::string(c.role) + " case " + std::to_string(++n));
        const std::string uri = server_->uriAs(c.role, "orvane_line");
        StoreStatus status;
        if (c.use == Use::init) {
            status = PostgresStore::initialise(uri);
        } else if (c.use == Use::grant) {
            status.ok = server_->psqlScript(guideSql("GRANT INSERT ON jobs"), uri);
        } else if (c.use == Use::release || c.use == Use::note) {
            status = jobsUse(uri, c.use);
        } else if (c.use == Use::read) {
            if (const auto store = PostgresStore::openForReading(uri, status)) {
                (void)store->find({}, status);
            }
        } else if (const auto store = PostgresStore::open(uri, folder_.file(std::to_string(n)), status)) {
            status = store->put(attempt(n));
        }
        const bool allowed = status.ok && !status.deferred;
        EXPECT_EQ(allowed, c.said[0] == '\0') << status.reason;
        EXPECT_NE(status.reason.find(c.said), std::string::npos) << status.reason;
    }
    // Exactly these rights and no more (S select, I insert, U update, D delete), table by table.
    const std::string rights =
        server_->query("\\connect orvane_line\nSELECT r || ' ' || string_agg(t || ':' || concat("
                       "CASE WHEN has_table_privilege(r, t, 'SELECT') THEN 'S' END, CASE WHEN "
                       "has_table_privilege(r, t, 'INSERT') "
                       "THEN 'I' END, CASE WHEN has_table_privilege(r, t, 'UPDATE') THEN 'U' END, CASE WHEN "
                       "has_table_privilege(r, t, 'DELETE') THEN 'D' END), ' ' ORDER BY t) FROM "
                       "unnest(ARRAY['orvane_owner', "
                       "'orvane_engineer', 'orvane_station', 'orvane_reader']) r, unnest(ARRAY['audit', "
                       "'jobs', 'orvane_schema', "
                       "'records', 'station_commands', 'stations']) t GROUP BY r ORDER BY r");
    EXPECT_EQ(rights,
              "orvane_engineer audit:SI jobs:SI orvane_schema:S records:S station_commands:S stations:S\n"
              "orvane_owner audit:SIUD jobs:SIUD orvane_schema:SIUD records:SIUD station_commands:SIUD "
              "stations:SIUD\n"
              "orvane_reader audit:S jobs:S orvane_schema:S records:S station_commands:S stations:S\n"
              "orvane_station audit:I jobs:S orvane_schema:S records:SIU station_commands:S stations:SIU\n");
}

} // namespace
} // namespace orvane
