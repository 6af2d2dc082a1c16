// The SQLite store as stations use it: every attempt kept exactly, found by what a line asks,
// evidence of a crash, files that are not ours left alone, many writers at once.
#include "records/record_id.h"
#include "records/sqlite_store.h"
#include "records/writer_identity.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane {
namespace {

namespace fs = std::filesystem;

class RecordsFolder : public ::testing::Test {
  protected:
    RecordsFolder() : folder_(fs::temp_directory_path() / ("orvane-records-" + newRecordId())) {}
    ~RecordsFolder() override { fs::remove_all(folder_); }
    std::string file(const std::string& name) const { return (folder_ / name).string(); }

    std::unique_ptr<SqliteStore> open(const std::string& name = "records.sqlite") {
        StoreStatus status;
        auto store = SqliteStore::open(file(name), status);
        EXPECT_TRUE(status.ok) << status.reason;
        return store;
    }

    static UpgradeRecord attempt(std::int64_t startedMs, std::string port = "ttyUSB0") {
        UpgradeRecord record;
        const WriterIdentity self = thisWriter();
        record.id = newRecordId();
        record.startedMs = startedMs;
        record.port = port;
        record.device = "/dev/" + port;
        record.imageSha256 = "ab12";
        record.host = self.host;
        record.processId = self.processId;
        record.bootId = self.bootId;
        return record;
    }

  private:
    fs::path folder_;
};

TEST_F(RecordsFolder, KeepsEveryFieldExactlyThroughStartAndCompletion) {
    auto store = open("sub folder/records.sqlite");
    UpgradeRecord record = attempt(1765248000123, "pts/3'; DROP TABLE records; --");
    record.operatorName = "O'Brien \"night\"\nshift";
    record.imagePath = std::string("fw-\xff\xfe-latin1-caf\xe9.bin");
    record.byId = "/dev/serial/by-id/usb-FTDI_<script>-port0";
    record.usbSerial = "A10K,3\"X";
    ASSERT_TRUE(store->put(record).ok);
    record.ending = "failed";
    record.step = "block";
    record.block = 2;
    record.blocks = 3;
    record.reason = "Block 2 of 3 unanswered for 10 s";
    record.durationMs = 12400;
    ASSERT_TRUE(store->put(record).ok);

    StoreStatus status;
    const auto found = open("sub folder/records.sqlite")->find({}, status);
    ASSERT_TRUE(status.ok) << status.reason;
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0], record);
}

TEST_F(RecordsFolder, FindsByWhatALineAsksNewestFirst) {
    auto store = open();
    std::vector<UpgradeRecord> kept;
    for (int i = 0; i < 6; ++i) {
        UpgradeRecord record = attempt(1000 + i, i % 2 == 0 ? "ttyUSB0" : "ttyUSB1");
        record.ending = i < 4 ? "succeeded" : "failed";
        record.usbSerial = "S" + std::to_string(i % 3);
        record.station = i < 3 ? "bench-1" : "bench-2";
        record.byId = "/dev/serial/by-id/usb-" + record.port;
        ASSERT_TRUE(store->put(record).ok);
        kept.push_back(record);
    }
    const auto startsOf = [&](const RecordFilter& filter) {
        StoreStatus status;
        std::vector<std::int64_t> starts;
        for (const UpgradeRecord& record : store->find(filter, status)) {
            starts.push_back(record.startedMs);
        }
        EXPECT_TRUE(status.ok) << status.reason;
        return starts;
    };
    using Starts = std::vector<std::int64_t>;
    EXPECT_EQ(startsOf({}), (Starts{1005, 1004, 1003, 1002, 1001, 1000}));
    EXPECT_EQ(startsOf({.sinceMs = 1002, .untilMs = 1004}), (Starts{1003, 1002}));
    EXPECT_EQ(startsOf({.port = "/dev/serial/by-id/usb-ttyUSB1"}), (Starts{1005, 1003, 1001}));
    EXPECT_EQ(startsOf({.port = "/dev/ttyUSB0", .limit = 2}), (Starts{1004, 1002}));
    EXPECT_EQ(startsOf({.usbSerial = "S1"}), (Starts{1004, 1001}));
    EXPECT_EQ(startsOf({.imageSha256 = "AB12", .ending = "failed"}), (Starts{1005, 1004}));
    EXPECT_EQ(startsOf({.station = "bench-1"}), (Starts{1002, 1001, 1000}));
}

TEST_F(RecordsFolder, RefusesFilesThatAreNotItsOwnAndLeavesThemAlone) {
    const auto refused = [&](const std::string& name, const std::string& mentions) {
        const std::string path = file(name);
        std::ifstream in(path, std::ios::binary);
        const std::string before((std::istreambuf_iterator<char>(in)), {});
        StoreStatus status;
        EXPECT_EQ(SqliteStore::open(path, status), nullptr) << name;
        EXPECT_NE(status.reason.find(mentions), std::string::npos) << status.reason;
        std::ifstream after(path, std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), before) << name << " was changed";
        EXPECT_FALSE(fs::exists(path + "-wal")) << name;
    };
    open("plain.sqlite");
    std::ofstream(file("photo.jpg"), std::ios::binary) << std::string(4096, '\xd8');
    refused("photo.jpg", "is not a records database");
    { auto store = open("newer.sqlite"); }
    ASSERT_EQ(std::system(("sqlite3 '" + file("newer.sqlite") + "' 'PRAGMA user_version = 7'").c_str()), 0);
    refused("newer.sqlite", "newer Orvane (schema 7");
    ASSERT_EQ(
        std::system(("sqlite3 '" + file("other.sqlite") + "' 'CREATE TABLE songs (title TEXT)'").c_str()), 0);
    refused("other.sqlite", "another program");
}

TEST_F(RecordsFolder, ARunningRecordWhoseProcessIsGoneReadsInterrupted) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::_Exit(0);
    }
    ::waitpid(child, nullptr, 0);
    UpgradeRecord gone = attempt(2000);
    gone.processId = child;
    UpgradeRecord live = attempt(2001);
    UpgradeRecord otherHost = attempt(2002);
    otherHost.host = "bench-7";
    otherHost.processId = child;
    {
        auto store = open();
        for (const UpgradeRecord& record : {gone, live, otherHost}) {
            ASSERT_TRUE(store->put(record).ok);
        }
    }
    StoreStatus status;
    const auto found = open()->find({.ending = "interrupted"}, status);
    ASSERT_EQ(found.size(), 1U) << "marked by the next writer";
    EXPECT_EQ(found[0].id, gone.id);
}

TEST_F(RecordsFolder, ManyProcessesWriteAtOnceAndLoseNothing) {
    constexpr int writers = 4;
    constexpr int each = 50;
    open(); // made once; each writer opens it again
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        if (const pid_t child = ::fork(); child == 0) {
            StoreStatus status;
            auto store = SqliteStore::open(file("records.sqlite"), status);
            int kept = 0;
            for (int i = 0; store && i < each; ++i) {
                kept += store->put(attempt(w * 1000 + i)).ok ? 1 : 0;
            }
            std::_Exit(kept == each ? 0 : 1);
        } else {
            children.push_back(child);
        }
    }
    for (const pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    StoreStatus status;
    EXPECT_EQ(open()->find({}, status).size(), static_cast<std::size_t>(writers * each));
}

} // namespace
} // namespace orvane
