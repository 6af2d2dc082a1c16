// `orvane-cli job` against a real PostgreSQL 15 server the test starts itself: an image upgrade
// would refuse is refused alike and stores nothing; each command's plain lines and JSON events.
#include "cli_process.h"
#include "event_log.h"
#include "records/postgres_server.h"
#include "records/postgres_store.h"
#include "support/missing_package.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orvane::test {
namespace {

class CliJob : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = std::make_unique<PostgresServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_->available()) {
            if (!server_->installed())
                GTEST_SKIP() << missingPackage("postgresql-15", server_->whyNot());
            GTEST_SKIP() << "no PostgreSQL server for this test: " << server_->whyNot();
        }
        ASSERT_TRUE(server_->psql("DROP TABLE IF EXISTS records, orvane_schema, jobs, audit, stations, "
                                  "station_commands"));
        const StoreStatus made = PostgresStore::initialise(server_->uri());
        ASSERT_TRUE(made.ok) << made.reason;
    }

    static CliResult job(std::vector<std::string> args) {
        args.insert(args.begin(), "job");
        args.insert(args.end(), {"--records", server_->uri()});
        return runCli(args);
    }

    // The event names of a --json run, in order.
    static std::string eventsOf(const CliResult& result) {
        keepEvents(result.out);
        std::string names;
        for (const std::string& line : linesOf(result.out)) {
            names += nlohmann::json::parse(line).value("event", "?") + " ";
        }
        return names;
    }

    static std::unique_ptr<PostgresServer> server_;
    const TempFolder dir_;
};

std::unique_ptr<PostgresServer> CliJob::server_;

TEST_F(CliJob, AnImageUpgradeRefusesIsRefusedAlikeAndNothingIsStored) {
    struct Case {
        const char* bytes;
        std::size_t size;
        const char* lang;
    };
    for (const Case& c : {Case{"", 0, "en"}, Case{":00000001FF\n", 12, "zh"},
                          Case{"\x7f"
                               "ELF\x01\x01\x01\0\0",
                               9, "en"}}) {
        const std::string image = dir_.file("fw.bin");
        writeFile(image, std::string_view(c.bytes, c.size));
        const CliResult upgrade =
            runCli({"upgrade", image, "--port", dir_.file("ttyNone"), "--lang", c.lang});
        const CliResult released = job({"release", "cam-fw", image, "--lang", c.lang});
        EXPECT_EQ(released.exitCode, 3) << released.err;
        EXPECT_EQ(released.err, upgrade.err);
    }
    EXPECT_EQ(eventsOf(job({"list", "--json"})), "result ");
    EXPECT_TRUE(
        server_->psql("SELECT 1 / (SELECT count(*) + 1 FROM jobs WHERE false)")); // the table is there
    EXPECT_EQ(server_->query("SELECT count(*) FROM jobs"), "0\n");
}

TEST_F(CliJob, EachCommandSaysItInLinesAndInEvents) {
    const std::string image = dir_.file("fw.bin");
    writeFile(image, "firmware");
    struct Step {
        std::vector<std::string> args;
        int status;
        const char* said; // plain: part of standard output or error; --json: the events' names
    };
    const Step steps[] = {
        {{"release", "cam-fw", image, "--upbps", "115200", "--operator", "ana"}, 0, "Released cam-fw@1"},
        {{"release", "cam-fw", image, "--note", "fix", "--json"}, 0, "job result "},
        {{"list"}, 0, "cam-fw  2        active"},
        {{"list", "--json"}, 0, "job result "},
        {{"show", "cam-fw@1"}, 0, "9600/115200 bps"},
        {{"show", "cam-fw", "--json"}, 0, "job result "},
        {{"retire", "cam-fw", "--json"}, 0, "result "},
        {{"show", "cam-fw"}, 0, "the job is retired since"},
        {{"history", "cam-fw", "--json"}, 0, "audit audit audit result "},
        {{"history"}, 0, "release  cam-fw@1"},
        {{"retire", "cam-fw"}, 3, "is retired already"},
        {{"show", "cam-fw@3"}, 3, "has no version 3 (its latest is 2)"},
        {{"release", "cam fw", image}, 2, "not a job name"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args[0] + " " + step.args.back());
        const CliResult result = job(step.args);
        EXPECT_EQ(result.exitCode, step.status) << result.err;
        if (step.args.back() == "--json") {
            EXPECT_EQ(eventsOf(result), step.said);
        } else {
            EXPECT_NE((result.out + result.err).find(step.said), std::string::npos)
                << result.out << result.err;
        }
    }
    const CliResult file = runCli({"job", "list", "--records", dir_.file("records.sqlite")});
    EXPECT_EQ(file.exitCode, 2);
    EXPECT_NE(file.err.find("PostgreSQL database"), std::string::npos) << file.err;
}

} // namespace
} // namespace orvane::test
