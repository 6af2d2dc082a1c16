// The SQLite store as stations use it: every attempt kept exactly, found by what a line asks,
// evidence of a crash, files that are not ours left alone, many writers at once.
#include "child_process.h"
#include "records/record_id.h"
#include "records/sqlite_store.h"
#include "records/writer_identity.h"
#include "support/first_schema.h"
#include "support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::runSql;
using test::userVersion;
using test::writeFirstSchemaFile;

constexpr int attemptsPerWriter = 50;

UpgradeRecord attempt(std::int64_t startedMs, std::string port = "ttyUSB0") {
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

// A child's part (ChildProcess): "exit", or "write:WRITER:FILE", the writer's attempts put into
// FILE. Its exit status: 0 when all went well.
int doChildPart(const std::string& part) {
    if (part == "exit") {
        return 0;
    }
    const std::size_t colon = part.find(':', 6);
    if (part.rfind("write:", 0) != 0 || colon == std::string::npos) {
        return 2;
    }
    const int writer = std::stoi(part.substr(6, colon - 6));
    StoreStatus status;
    auto store = SqliteStore::open(part.substr(colon + 1), status);
    int kept = 0;
    for (int i = 0; store && i < attemptsPerWriter; ++i) {
        kept += store->put(attempt(writer * 1000 + i)).ok ? 1 : 0;
    }
    return kept == attemptsPerWriter ? 0 : 1;
}

// A run started as a child does its part before any test, and ends.
[[maybe_unused]] const bool childDone = [] {
    if (const std::optional<std::string> part = test::childPart()) {
        std::_Exit(doChildPart(*part));
    }
    return false;
}();

class RecordsFolder : public ::testing::Test {
  protected:
    std::string file(const std::string& name) const { return folder_.file(name); }
    const fs::path& folderPath() const { return folder_.path(); }

    std::unique_ptr<SqliteStore> open(const std::string& name = "records.sqlite") {
        StoreStatus status;
        auto store = SqliteStore::open(file(name), status);
        EXPECT_TRUE(status.ok) << status.reason;
        return store;
    }

  private:
    const test::TempFolder folder_;
};

TEST_F(RecordsFolder, KeepsEveryFieldExactlyThroughStartAndCompletion) {
    auto store = open("sub folder/records.sqlite");
    UpgradeRecord record = attempt(1765248000123, "pts/3'; DROP TABLE records; --");
    record.operatorName = "O'Brien \"night\"\nshift";
    record.imagePath = std::string("fw-\xff\xfe-latin1-caf\xe9.bin");
    record.byId = "/dev/serial/by-id/usb-FTDI_<script>-port0";
    record.usbSerial = "A10K,3\"X";
    record.imagePath = "/srv/fw/fw-\xff.bin";
    record.unit = "SN-0042 \xe6\xb5\x8b";
    record.slot = "left, top";
    record.plug = "plug-9";
    record.attempt = 3;
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

TEST_F(RecordsFolder, TakesItsPathAsUtf8WhateverTheCodePage) {
    const std::u8string folder = (folderPath() / u8"记录 café").u8string();
    StoreStatus status;
    const auto store =
        SqliteStore::open(std::string(folder.begin(), folder.end()) + "/records.sqlite", status);
    ASSERT_TRUE(store) << status.reason;
    EXPECT_TRUE(store->put(attempt(1)).ok);
    EXPECT_TRUE(fs::exists(folderPath() / u8"记录 café" / "records.sqlite"));
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
        if (i >= 2) {
            record.job = "cam-fw";
            record.jobVersion = i / 2;
        }
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
    EXPECT_EQ(startsOf({.job = "cam-fw"}), (Starts{1005, 1004, 1003, 1002}));
    EXPECT_EQ(startsOf({.station = "bench-1", .job = "cam-fw", .jobVersion = 1, .limit = 5}), (Starts{1002}));
}

// A file as the release before wrote it (its own SQL): read as it is when opened to read, and
// brought up in place when opened to write, its records whole either way.
class FirstSchemaFile : public RecordsFolder, public ::testing::WithParamInterface<bool> {};

TEST_P(FirstSchemaFile, IsReadWholeAndMigratedOnlyByAWriter) {
    const bool writer = GetParam();
    ASSERT_TRUE(writeFirstSchemaFile(
        file("old.sqlite"), "('old-1', 1000, '/dev/ttyUSB3', 'fw2.bin', NULL, 'failed', 'block', 2, 9)"));
    StoreStatus status;
    const auto store = writer ? SqliteStore::open(file("old.sqlite"), status)
                              : SqliteStore::openForReading(file("old.sqlite"), status);
    ASSERT_TRUE(store) << status.reason;
    const auto found = store->find({}, status);
    ASSERT_EQ(found.size(), 1U) << status.reason;
    EXPECT_EQ(found[0].image, "fw2.bin");
    EXPECT_EQ(found[0].imagePath, "");
    EXPECT_EQ(found[0].block, 2U);
    EXPECT_EQ(found[0].slot, "/dev/ttyUSB3");
    EXPECT_EQ(found[0].plug, "old-1");
    EXPECT_EQ(found[0].attempt, 1U);
    EXPECT_FALSE(found[0].unit || found[0].sentTo);
    EXPECT_EQ(store->find({.unit = "SN-1"}, status).size(), 0U) << status.reason;
    EXPECT_TRUE(status.ok) << status.reason;
    EXPECT_EQ(userVersion(file("old.sqlite")), writer ? 3 : 1);
}

INSTANTIATE_TEST_SUITE_P(OpenedToWrite, FirstSchemaFile, ::testing::Values(true));
INSTANTIATE_TEST_SUITE_P(OpenedToRead, FirstSchemaFile, ::testing::Values(false));

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
    ASSERT_TRUE(runSql(file("newer.sqlite"), "PRAGMA user_version = 7"));
    refused("newer.sqlite", "newer Orvane (schema 7");
    ASSERT_TRUE(runSql(file("other.sqlite"), "CREATE TABLE songs (title TEXT)"));
    refused("other.sqlite", "another program");
}

TEST_F(RecordsFolder, ARunningRecordWhoseProcessIsGoneReadsInterrupted) {
    std::optional<ChildProcess> ended = ChildProcess::start("exit");
    ASSERT_TRUE(ended);
    ASSERT_EQ(ended->wait(), 0);
    UpgradeRecord gone = attempt(2000);
    gone.processId = ended->id();
    UpgradeRecord live = attempt(2001);
    UpgradeRecord otherHost = attempt(2002);
    otherHost.host = "bench-7";
    otherHost.processId = ended->id();
    // Numbers no process can have: cut to the system's width they would name this process or
    // its group, and read running for ever.
    UpgradeRecord wrapsToSelf = attempt(2003);
    wrapsToSelf.processId += std::int64_t{1} << 32;
    UpgradeRecord wrapsToGroup = attempt(2004);
    wrapsToGroup.processId = std::int64_t{1} << 32;
    {
        auto store = open();
        for (const UpgradeRecord& record : {gone, live, otherHost, wrapsToSelf, wrapsToGroup}) {
            ASSERT_TRUE(store->put(record).ok);
        }
    }
    StoreStatus status;
    std::vector<std::string> ids;
    for (const UpgradeRecord& record : open()->find({.ending = "interrupted"}, status)) {
        ids.push_back(record.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{wrapsToGroup.id, wrapsToSelf.id, gone.id}))
        << "marked by the next writer";
}

// A spool whose pages cannot be read is no empty spool: its records would never be sent.
TEST_F(RecordsFolder, ASpoolThatCannotBeReadIsNotEmpty) {
    {
        auto store = open();
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(store->putPending(attempt(i)).ok);
        }
    }
    std::fstream file(this->file("records.sqlite"), std::ios::binary | std::ios::in | std::ios::out);
    unsigned char size[2] = {};
    file.seekg(16).read(reinterpret_cast<char*>(size), 2); // the page size, big-endian
    const auto pageSize = static_cast<std::streamoff>(size[0] << 8 | size[1]);
    const auto length = static_cast<std::streamoff>(fs::file_size(this->file("records.sqlite")));
    ASSERT_GT(length, pageSize);
    file.seekp(pageSize) << std::string(static_cast<std::size_t>(length - pageSize),
                                        '\xff'); // all but the schema
    file.close();
    StoreStatus status;
    auto store = SqliteStore::open(this->file("records.sqlite"), status);
    ASSERT_TRUE(store) << status.reason;
    (void)store->pending(status);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.reason.find("Cannot read the records"), std::string::npos) << status.reason;
}

TEST_F(RecordsFolder, ManyProcessesWriteAtOnceAndLoseNothing) {
    constexpr int writers = 4;
    open(); // made once; each writer opens it again
    std::vector<ChildProcess> children;
    for (int w = 0; w < writers; ++w) {
        std::optional<ChildProcess> child =
            ChildProcess::start("write:" + std::to_string(w) + ":" + file("records.sqlite"));
        ASSERT_TRUE(child);
        children.push_back(std::move(*child));
    }
    for (ChildProcess& child : children) {
        EXPECT_EQ(child.wait(), 0);
    }
    StoreStatus status;
    EXPECT_EQ(open()->find({}, status).size(), static_cast<std::size_t>(writers * attemptsPerWriter));
}

} // namespace
} // namespace orvane
