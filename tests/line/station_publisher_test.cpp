// Stations of the real orvane-cli on a line's PostgreSQL server: the row each publishes, the
// name only one live station may hold, and the line's pause, which only a row can give.
#include "cli_process.h"
#include "line/line_connection.h"
#include "postgres_server.h"
#include "sim/virtual_camera.h"
#include "support/missing_package.h"
#include "support/wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orvane::test {
namespace {

constexpr int speed = 115200;

class LineStation : public ::testing::Test {
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
                                  "station_commands, writes"));
        ASSERT_EQ(runCli({"records", "--init", "--records", server_->uri()}).exitCode, 0);
        // Every write of a row, as the server saw it and when.
        ASSERT_TRUE(server_->psqlScript(
            "CREATE TABLE writes (at double precision, state jsonb);"
            "CREATE OR REPLACE FUNCTION noted() RETURNS trigger AS $$ BEGIN INSERT INTO writes VALUES "
            "(extract(epoch FROM clock_timestamp()), NEW.state); RETURN NEW; END $$ LANGUAGE plpgsql;"
            "CREATE OR REPLACE TRIGGER noted AFTER INSERT OR UPDATE ON stations FOR EACH ROW "
            "EXECUTE FUNCTION noted();"));
        std::filesystem::create_directory(dir_.file("watched"));
        writeFile(dir_.file("fw.bin"), std::string(20000, '\x5a'));
        ASSERT_TRUE(database_.connect(why_)) << why_;
    }

    std::unique_ptr<CliProcess> station(const std::string& name) {
        auto started = std::make_unique<CliProcess>(
            std::vector<std::string>{"station", dir_.file("fw.bin"), "--watch", dir_.file("watched"),
                                     "--records", server_->uri(), "--station-name", name, "--bps",
                                     std::to_string(speed), "--upbps", std::to_string(speed), "--json"});
        EXPECT_TRUE(started->waitForLine("\"station\"", 10s));
        return started;
    }

    std::unique_ptr<VirtualCamera> plugged(const std::string& name,
                                           std::chrono::milliseconds flashTime = {}) {
        VirtualCameraOptions options;
        options.lineSpeed = speed;
        options.upgradeSpeed = speed;
        options.linkPath = dir_.file("watched/" + name);
        options.flashTime = flashTime;
        auto camera = std::make_unique<VirtualCamera>(options);
        EXPECT_TRUE(camera->start()) << camera->error();
        return camera;
    }

    // One value of the server's, as text ("" for none or NULL).
    std::string value(const std::string& sql) {
        const SqlRows rows = database_.run(sql);
        return rows.ok() && rows.count() == 1 ? rows.text(0, 0) : "";
    }

    static std::unique_ptr<PostgresServer> server_;
    const TempFolder dir_;
    LineConnection database_{server_ ? server_->uri() : ""};
    std::string why_;
};

std::unique_ptr<PostgresServer> LineStation::server_;

// The slots' states of a row, without their percents: what a write "at once" is for.
std::string statesOf(const nlohmann::json& state) {
    std::string states;
    for (const auto& slot : state["slots"]) {
        states += slot["slot"].get<std::string>() + "=" + slot["state"].get<std::string>() + " ";
    }
    return states;
}

TEST_F(LineStation, ChangesAtOnceAPercentTwiceASecondAndStoppedOnSigint) {
    auto shift = station("bench-1");
    auto first = plugged("cam1", 100ms);
    auto second = plugged("cam2", 100ms);
    const auto results = [&] {
        const std::string out = shift->outSoFar();
        std::size_t count = 0;
        for (std::size_t at = out.find("\"result\""); at != std::string::npos;
             at = out.find("\"result\"", at + 1)) {
            ++count;
        }
        return count;
    };
    ASSERT_TRUE(waitUntil([&] { return results() == 2; }, 30s)) << shift->outSoFar();
    const auto bothSucceeded =
        "state @> '{\"slots\": [{\"state\": \"succeeded\"}, {\"state\": \"succeeded\"}]}'";
    EXPECT_TRUE(waitUntil(
        [&] { return value(std::string("SELECT count(*) FROM stations WHERE ") + bothSucceeded) == "1"; },
        1s));
    // Writes in order: a slot's new state is never held back, percents alone come 0.5 s apart.
    const SqlRows writes = database_.run("SELECT at, state FROM writes ORDER BY at");
    ASSERT_GT(writes.count(), 4);
    int percentOnly = 0;
    for (int i = 1; i < writes.count(); ++i) {
        const auto before = nlohmann::json::parse(writes.text(i - 1, 1));
        const auto now = nlohmann::json::parse(writes.text(i, 1));
        const double gap = std::stod(writes.text(i, 0)) - std::stod(writes.text(i - 1, 0));
        if (statesOf(before) == statesOf(now) && before != now) {
            ++percentOnly;
            EXPECT_GT(gap, 0.45) << i << ": " << now.dump();
        }
    }
    EXPECT_GT(percentOnly, 2); // a flash of 2 s is seen moving

    shift->interrupt(SIGINT);
    EXPECT_EQ(shift->wait(20s).exitCode, 130);
    EXPECT_EQ(
        value(
            "SELECT stopped_at IS NOT NULL AND last_seen = stopped_at FROM stations WHERE name = 'bench-1'"),
        "t");
}

TEST_F(LineStation, ANameIsOneLiveStationsUntilItStops) {
    auto first = station("bench-2");
    const CliResult twin = runCli({"station", dir_.file("fw.bin"), "--watch", dir_.file("watched"),
                                   "--records", server_->uri(), "--station-name", "bench-2"});
    EXPECT_EQ(twin.exitCode, 3);
    EXPECT_NE(twin.err.find("bench-2 is already running on " + value("SELECT host FROM stations")),
              std::string::npos)
        << twin.err;
    first->interrupt(SIGINT);
    ASSERT_EQ(first->wait(20s).exitCode, 130);

    auto second = station("bench-2");
    ASSERT_TRUE(waitUntil([&] { return value("SELECT stopped_at IS NULL FROM stations") == "t"; }, 3s));
    const std::string started = value("SELECT last_seen FROM stations");
    ASSERT_TRUE(
        waitUntil([&] { return value("SELECT last_seen FROM stations") != started; }, 6s)); // its heartbeat
    EXPECT_EQ(value("SELECT stopped_at IS NULL FROM stations"), "t");
    second->interrupt(SIGKILL);
    second->wait(5s);
    const std::string last = value("SELECT last_seen FROM stations");
    std::this_thread::sleep_for(5500ms);
    EXPECT_EQ(value("SELECT last_seen || ' ' || (stopped_at IS NULL) FROM stations"), last + " true");
}

TEST_F(LineStation, OnlyACommandsRowPausesAndResumes) {
    ASSERT_TRUE(server_->psql("INSERT INTO station_commands (station, command) VALUES ('bench-3', 'pause')"));
    auto shift = station("bench-3"); // an old pause is not obeyed
    ASSERT_TRUE(server_->psql("NOTIFY orvane_station_commands, 'bench-3'"));
    auto first = plugged("cam1");
    ASSERT_TRUE(waitUntil([&] { return first->lastVerdict().has_value(); }, 15s));

    ASSERT_TRUE(
        server_->psqlScript("INSERT INTO station_commands (station, command) VALUES ('bench-3', 'pause');"
                            "NOTIFY orvane_station_commands, 'bench-3';"));
    ASSERT_TRUE(shift->waitForLine("paused from the line", 3s));
    EXPECT_TRUE(waitUntil([&] { return value("SELECT state->>'paused' FROM stations") == "true"; }, 2s));
    auto second = plugged("cam2");
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(second->receivedFrames(HostFrameKind::Block).empty());

    ASSERT_TRUE(
        server_->psqlScript("INSERT INTO station_commands (station, command) VALUES ('bench-3', 'resume');"
                            "NOTIFY orvane_station_commands, 'bench-3';"));
    EXPECT_TRUE(waitUntil([&] { return second->lastVerdict().has_value(); }, 15s));
    EXPECT_TRUE(shift->waitForLine("resumed from the line", 1s));
}

} // namespace
} // namespace orvane::test
