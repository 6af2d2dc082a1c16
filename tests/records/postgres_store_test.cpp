// The PostgreSQL store against a real PostgreSQL 15 server that the test starts itself: the
// same records as the SQLite store, none lost or doubled while the server is down.
#include "postgres_server.h"
#include "records/postgres_store.h"
#include "records/record_id.h"
#include "records/writer_identity.h"
#include "support/missing_package.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>

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
        ASSERT_TRUE(server_->psql("DROP TABLE IF EXISTS records, orvane_schema"));
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
    ASSERT_TRUE(store->put(attempt(4000)).ok);
    const StoreStatus kept = store->put(odd);
    ASSERT_TRUE(kept.ok && !kept.deferred) << kept.reason;
    StoreStatus status;
    const auto found = store->find({.imageSha256 = "C0FFEE", .station = std::nullopt}, status);
    ASSERT_TRUE(status.ok) << status.reason;
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0], odd);
    EXPECT_EQ(store->find({.limit = 5}, status).size(), 2U);
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

} // namespace
} // namespace orvane
