// `orvane-cli records` on a file the stores wrote, with fields a careless or hostile writer
// could leave: quotes, semicolons, line feeds, escape sequences, bytes that are not UTF-8.
// Each form gives them back as it must: CSV byte for byte, JSON valid, the table one row a
// record.
#include "cli_process.h"
#include "event_log.h"
#include "records/sqlite_store.h"
#include "records/writer_identity.h"
#include "support/first_schema.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sys/wait.h>

namespace orvane::test {
namespace {

const std::string shaA = "0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0";
const std::string shaB = "b0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecf";
constexpr std::int64_t tenUtc = 1796810400000; // 2026-12-09T10:00:00Z
constexpr std::int64_t hourMs = 3600000;

UpgradeRecord attempt(const char* id, std::int64_t startedMs, const std::string& sha, const char* ending) {
    UpgradeRecord r;
    r.id = id;
    r.startedMs = startedMs;
    r.durationMs = 83456;
    r.station = "line-1";
    r.operatorName = "ana";
    r.port = "/dev/ttyUSB0";
    r.device = "/dev/ttyUSB0";
    r.image = "/srv/fw/cam,v2.bin";
    r.imageSize = 65536;
    r.imageSha256 = sha;
    r.target = "main";
    r.address = 1;
    r.lineSpeed = 9600;
    r.upgradeSpeed = 115200;
    r.replyMode = "standard";
    r.ending = ending;
    r.toolVersion = "1.1.0";
    r.host = "a-host-that-is-not-this-one";
    r.processId = 4242;
    r.bootId = "boot";
    return r;
}

// r1 succeeded; r2 failed with every nasty field; r3 interrupted at another station; r4 still
// running there.
std::vector<UpgradeRecord> attempts() {
    UpgradeRecord r1 = attempt("r1", tenUtc, shaA, "succeeded");
    r1.byId = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    r1.usbSerial = "A10K3X";
    r1.unit = "SN-7";
    r1.step = "done";
    UpgradeRecord r2 = attempt("r2", tenUtc + hourMs, shaA, "failed");
    r2.port = "ttyUSB1\n2026-12-09T09:00:00Z  forged  /dev/ttyUSB9";
    r2.device = "/dev/ttyUSB1";
    r2.operatorName = "J\xf6rg \x1b[31m";
    r2.reason = "said \"no\"; DROP TABLE records; --, twice\r\n";
    r2.step = "block";
    r2.block = 3;
    r2.blocks = 10;
    r2.resends = 7;
    UpgradeRecord r3 = attempt("r3", tenUtc + 2 * hourMs, shaB, "interrupted");
    r3.station = "line-2";
    r3.image = "C:\\fw\\motor.bin";
    UpgradeRecord r4 = attempt("r4", tenUtc + 3 * hourMs, shaA, "running");
    r4.station = "line-2";
    r4.durationMs = 0;
    return {r1, r2, r3, r4};
}

class CliRecords : public ::testing::Test {
  protected:
    void SetUp() override {
        StoreStatus status;
        auto store = SqliteStore::open(file_, status);
        ASSERT_TRUE(store) << status.reason;
        for (const UpgradeRecord& record : attempts()) {
            ASSERT_TRUE(store->put(record).ok);
        }
        // The same camera's earlier attempt, which this file spooled to a line's server.
        UpgradeRecord r0 = attempt("r0", tenUtc - hourMs, shaA, "failed");
        r0.unit = "SN-7";
        ASSERT_TRUE(store->putPending(r0).ok);
        ASSERT_TRUE(store->markSent("r0", "records.line/orvane").ok);
    }
    CliResult records(std::vector<std::string> args) const {
        args.insert(args.begin(), {"records", "--records", file_});
        return runCli(args);
    }
    static std::vector<nlohmann::json> events(const CliResult& result) {
        std::vector<nlohmann::json> parsed;
        for (const std::string& line : linesOf(result.out)) {
            parsed.push_back(nlohmann::json::parse(line));
        }
        return parsed;
    }

    TempFolder dir_;
    std::string file_ = dir_.file("records.sqlite");
};

TEST_F(CliRecords, CsvHoldsEveryFieldByteForByte) {
    const CliResult result = records({"--csv"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string header =
        "id,started,seconds,station,operator,port,device,byId,driver,vid,pid,serial,image,"
        "imageSize,sha256,target,address,lineSpeed,upgradeSpeed,replyMode,ending,step,"
        "block,blocks,reason,resends,toolVersion,host,processId,bootId,imagePath,unit,slot,plug,attempt,"
        "sentTo,job,jobVersion\r\n";
    EXPECT_EQ(result.out.substr(0, header.size()), header);
    const std::string r2 = "r2,2026-12-09T11:00:00.000Z,83.456,line-1,J\xf6rg \x1b[31m,"
                           "\"ttyUSB1\n2026-12-09T09:00:00Z  forged  /dev/ttyUSB9\",/dev/ttyUSB1,,,,,,"
                           "\"/srv/fw/cam,v2.bin\",65536," +
                           shaA +
                           ",main,1,9600,115200,standard,failed,block,3,10,"
                           "\"said \"\"no\"\"; DROP TABLE records; --, twice\r\n\",7,1.1.0,"
                           "a-host-that-is-not-this-one,4242,boot,,,,,1,,,\r\n";
    EXPECT_NE(result.out.find(r2), std::string::npos) << result.out;
    // Newest first; a row per record (the line ends inside quotes are the fields' own).
    std::vector<std::size_t> at;
    for (const char* id : {"\r\nr4,", "\r\nr3,", "\r\nr2,", "\r\nr1,"}) {
        at.push_back(result.out.find(id));
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()) && at.back() != std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - 2), "\r\n");
}

TEST_F(CliRecords, JsonLinesAreValidWhateverTheRecordsHold) {
    const CliResult result = records({"--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto lines = events(result);
    ASSERT_EQ(lines.size(), 5U) << result.out;
    EXPECT_EQ(lines[0]["id"], "r4");
    EXPECT_EQ(lines[0]["ending"], "running");
    EXPECT_EQ(lines[0]["step"], nullptr);
    const nlohmann::json& r2 = lines[2];
    EXPECT_EQ(r2["event"], "record");
    EXPECT_EQ(r2["port"], "ttyUSB1\n2026-12-09T09:00:00Z  forged  /dev/ttyUSB9");
    EXPECT_EQ(r2["operator"], "J\xef\xbf\xbdrg \x1b[31m"); // the Latin-1 byte as U+FFFD
    EXPECT_EQ(r2["started"], "2026-12-09T11:00:00.000Z");
    EXPECT_EQ(r2["seconds"], 83.456);
    EXPECT_EQ(r2["byId"], nullptr);
    EXPECT_EQ(lines[3]["serial"], "A10K3X");
    EXPECT_EQ(stableEvent(linesOf(result.out).back()),
              R"({"event":"result","ok":true,"exitCode":0,"text":"4 records"})");
}

TEST_F(CliRecords, TableKeepsOneRowARecord) {
    const CliResult result = records({"--utc"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto lines = linesOf(result.out);
    ASSERT_EQ(lines.size(), 5U) << result.out;
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
    const std::string& header = lines[0];
    // The cell of row under the column title, as long as expected.
    const auto cell = [&](std::size_t row, const char* title, const std::string& expected) {
        const std::size_t at = header.find(title);
        EXPECT_EQ(lines[row].substr(at, expected.size()), expected) << lines[row];
        EXPECT_TRUE(at == 0 || lines[row].at(at - 1) == ' ') << lines[row];
    };
    cell(1, "STARTED (UTC)", "2026-12-09T13:00:00Z  line-2");
    cell(1, "SECONDS", "-");
    cell(2, "IMAGE", "motor.bin " + shaB.substr(0, 12) + " ");
    cell(2, "ENDING", "interrupted ");
    cell(3, "PORT", "ttyUSB1\\n2026-12-09T09:00:00Z  forged  /dev/ttyUSB9 ");
    cell(3, "STEP/REASON", "block 3/10: said \"no\"; DROP TABLE records; --, twice\\r\\n");
    cell(4, "IMAGE", "cam,v2.bin " + shaA.substr(0, 12) + " ");
    cell(4, "SECONDS", "83.5");
}

TEST_F(CliRecords, SummaryCountsInterruptedButNotRunning) {
    const CliResult result = records({"--summary", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> lines;
    for (const std::string& line : linesOf(result.out)) {
        lines.push_back(stableEvent(line));
    }
    const std::string counts = R"("failed":1,"unusable":0,"cancelled":0,)";
    // Each record its own unit (one label, the rest plugs); the running one is no unit yet.
    const std::string judged = R"("units":2,"firstPassYield":0.5,"finalYield":0.5,"attemptsPerUnit":1.0})";
    const std::string unjudged =
        R"("units":1,"firstPassYield":null,"finalYield":null,"attemptsPerUnit":1.0})";
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            R"({"event":"recordSummary","by":"image","image":"/srv/fw/cam,v2.bin","sha256":")" + shaA +
                R"(","attempts":2,"succeeded":1,)" + counts + R"("interrupted":0,"running":1,"yield":0.5,)" +
                judged,
            R"({"event":"recordSummary","by":"image","image":"C:\\fw\\motor.bin","sha256":")" + shaB +
                R"(","attempts":1,"succeeded":0,"failed":0,"unusable":0,"cancelled":0,"interrupted":1,"running":0,"yield":0.0,)" +
                unjudged,
            R"({"event":"recordSummary","by":"station","station":"line-2","attempts":1,"succeeded":0,"failed":0,"unusable":0,"cancelled":0,"interrupted":1,"running":1,"yield":0.0,)" +
                unjudged,
            R"({"event":"recordSummary","by":"station","station":"line-1","attempts":2,"succeeded":1,)" +
                counts + R"("interrupted":0,"running":0,"yield":0.5,)" + judged,
            R"({"event":"result","ok":true,"exitCode":0,"text":"4 records"})"}));
    const CliResult table = records({"--summary"});
    EXPECT_NE(table.out.find("cam,v2.bin " + shaA.substr(0, 12) + "  2"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("50.0 %"), std::string::npos) << table.out;
}

struct Filter {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> ids;
};

void PrintTo(const Filter& f, std::ostream* os) {
    *os << f.name;
}

class CliRecordsFilter : public CliRecords, public ::testing::WithParamInterface<Filter> {};

TEST_P(CliRecordsFilter, FindsWhatWasAskedFor) {
    std::vector<std::string> args = GetParam().args;
    args.push_back("--json");
    const CliResult result = records(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> ids;
    for (const auto& event : events(result)) {
        if (event["event"] == "record") {
            ids.push_back(event["id"]);
        }
    }
    EXPECT_EQ(ids, GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    Records, CliRecordsFilter,
    ::testing::Values(
        Filter{"SinceUtc", {"--since", "2026-12-09T11:00:00Z"}, {"r4", "r3", "r2"}},
        Filter{"UntilIsBefore", {"--until", "2026-12-09T11:00Z"}, {"r1"}},
        Filter{"SinceWithOffset", {"--since", "2026-12-09T12:30+01:00"}, {"r4", "r3"}},
        Filter{"UntilADayTakesAllOfIt", {"--until", "2026-12-09"}, {"r4", "r3", "r2", "r1"}},
        Filter{"SinceADayAfter", {"--since", "2026-12-11"}, {}},
        Filter{"PortAsGiven", {"--port", "/dev/ttyUSB0"}, {"r4", "r3", "r1"}},
        Filter{"PortByItsLink", {"--port", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"}, {"r1"}},
        Filter{"AdapterSerial", {"--serial", "A10K3X"}, {"r1"}},
        Filter{"WholeSha256AnyCase",
               {"--image", "0F1E2D3C4B5A69788796A5B4C3D2E1F00F1E2D3C4B5A69788796A5B4C3D2E1F0"},
               {"r4", "r2", "r1"}},
        Filter{"Sha256AsTheTableShowsIt", {"--image", "b0b1b2b3b4b5"}, {"r3"}},
        Filter{"Sha256StartAndLimit", {"--image", "0f1e", "--limit", "2"}, {"r4", "r2"}},
        Filter{"Interrupted", {"--ending", "interrupted"}, {"r3"}},
        Filter{"Running", {"--ending", "running"}, {"r4"}},
        Filter{"Station", {"--station", "line-2"}, {"r4", "r3"}}, Filter{"Limit", {"--limit", "1"}, {"r4"}},
        Filter{"UnitLeavesOutWhatWasSent", {"--unit", "SN-7"}, {"r1"}},
        Filter{"UnitWithSent", {"--unit", "SN-7", "--with-sent"}, {"r1", "r0"}},
        Filter{"Together", {"--station", "line-1", "--ending", "failed", "--since", "2026-12-09"}, {"r2"}}),
    [](const auto& test) { return std::string(test.param.name); });

// A script exporting records to a full disk must not get an empty file and status 0: output
// that cannot be written fails the command, and standard error says why.
TEST_F(CliRecords, OutputThatCannotBeWrittenFailsTheCommand) {
    const std::string err = dir_.file("err.txt");
    const std::string records = "records --records '" + file_ + "'";
    for (const std::string& args : {records, records + " --json", records + " --csv", records + " --summary",
                                    std::string("ports --json")}) {
        const std::string command = "'" ORVANE_CLI_PATH "' " + args + " >/dev/full 2>'" + err + "'";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << args;
        EXPECT_EQ(WEXITSTATUS(status), 1) << args;
        EXPECT_NE(readFile(err).find("Cannot write the standard output: No space left on device"),
                  std::string::npos)
            << args;
    }
}

// An attempt of this host whose writer is gone, not yet marked by a later writer (reading
// marks nothing): found as interrupted, not as running.
TEST_F(CliRecords, AnAttemptCutShortHereIsFoundAsInterruptedNotRunning) {
    {
        StoreStatus status;
        const auto store = SqliteStore::open(file_, status);
        UpgradeRecord gone = attempt("gone", tenUtc + 4 * hourMs, shaA, "running");
        gone.host = thisWriter().host; // its boot id "boot" is no boot of this machine's
        ASSERT_TRUE(store && store->put(gone).ok) << status.reason;
    }
    const auto idsOf = [&](const char* ending) {
        std::vector<std::string> ids;
        for (const auto& event : events(records({"--ending", ending, "--json"}))) {
            if (event["event"] == "record") {
                ids.push_back(event["id"]);
            }
        }
        return ids;
    };
    EXPECT_EQ(idsOf("interrupted"), (std::vector<std::string>{"gone", "r3"}));
    EXPECT_EQ(idsOf("running"), (std::vector<std::string>{"r4"}));
}

TEST(CliRecordsPlace, NoFileYetIsNoRecordsYetButAMissingFileNamedIsNot) {
    const TempFolder dir;
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("XDG_STATE_HOME", dir.path().c_str(), 1);
    const CliResult none = runCli({"records", "--json"});
    const CliResult csv = runCli({"records", "--csv"});
    saved != nullptr ? setenv("XDG_STATE_HOME", savedValue.c_str(), 1) : unsetenv("XDG_STATE_HOME");

    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_NE(none.out.find("No records yet"), std::string::npos) << none.out;
    EXPECT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("id,started,", 0), 0U);
    EXPECT_EQ(linesOf(csv.out).size(), 1U);
    EXPECT_FALSE(std::filesystem::exists(dir.file("orvane"))) << "reading made the file";

    const CliResult missing = runCli({"records", "--records", dir.file("typo.sqlite")});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find(dir.file("typo.sqlite")), std::string::npos) << missing.err;
    writeFile(dir.file("notes.txt"), "not a database, and it stays as it is");
    const CliResult other = runCli({"records", "--records", dir.file("notes.txt"), "--json"});
    EXPECT_EQ(other.exitCode, 3);
    EXPECT_EQ(readFile(dir.file("notes.txt")), "not a database, and it stays as it is");
}

// --init makes the records' tables where they are asked for and says so; none has none.
TEST(CliRecordsPlace, InitMakesTheTablesAReaderThenFindsEmpty) {
    const TempFolder dir;
    const CliResult made = runCli({"records", "--init", "--records", dir.file("line.sqlite")});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    EXPECT_NE(made.out.find("ready (schema 3)"), std::string::npos) << made.out;
    const CliResult read = runCli({"records", "--records", dir.file("line.sqlite")});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    EXPECT_NE(read.out.find("0 records"), std::string::npos) << read.out;
    EXPECT_EQ(runCli({"records", "--init", "--records", "none"}).exitCode, 2);
}

// A file the first release of the records wrote is migrated by the next writer, and its plugs
// counted as units: each attempt there was its own plug, so a retry of old cannot be told.
TEST(CliRecordsPlace, AFirstSchemaFileIsMigratedThenSummarisedByUnit) {
    const TempFolder dir;
    const std::string file = dir.file("old.sqlite");
    const std::string sha(64, 'a');
    ASSERT_TRUE(writeFirstSchemaFile(file, "('o1', 1000, '/dev/ttyUSB3', 'fw2.bin', '" + sha +
                                               "', 'failed', 'block', 2, 9),"
                                               "('o2', 2000, '/dev/ttyUSB3', 'fw2.bin', '" +
                                               sha +
                                               "', 'succeeded', 'done', 9, 9),"
                                               "('o3', 3000, '/dev/ttyUSB4', 'fw2.bin', '" +
                                               sha + "', 'succeeded', 'done', 9, 9)"));
    const CliResult migrated = runCli({"records", "--init", "--records", file});
    EXPECT_EQ(migrated.exitCode, 0) << migrated.err;
    EXPECT_EQ(userVersion(file), 3);
    const CliResult units = runCli({"records", "--records", file, "--summary", "--by", "unit", "--json"});
    std::map<std::string, std::string> endings;
    for (const std::string& line : linesOf(units.out)) {
        const auto event = nlohmann::json::parse(line);
        if (event["event"] == "unitSummary") {
            EXPECT_TRUE(event["unit"].is_null()) << line;
            endings[event["plug"]] = event["lastEnding"];
        }
    }
    EXPECT_EQ(endings, (std::map<std::string, std::string>{
                           {"o1", "failed"}, {"o2", "succeeded"}, {"o3", "succeeded"}}));
    const auto summary = nlohmann::json::parse(
        linesOf(runCli({"records", "--records", file, "--summary", "--json"}).out).at(0));
    EXPECT_EQ(
        std::vector<nlohmann::json>({summary["units"], summary["firstPassYield"], summary["finalYield"]}),
        std::vector<nlohmann::json>({3, 2.0 / 3, 2.0 / 3}));
}

} // namespace
} // namespace orvane::test
