// The line's page against a real PostgreSQL 15 server the test starts itself, its stations
// written by the load generator as stations write them: the rows followed through LISTEN,
// what needs a person counted, the silent marked by the server's clock, the counts matching
// `records --summary`, and the page's pause reaching station_commands.
#include "../dashboard/http_probe.h"
#include "../records/postgres_server.h"
#include "line/line_reader.h"
#include "line/line_server.h"
#include "line_load.h"
#include "output/yield_text.h"
#include "records/postgres_store.h"
#include "records/record_id.h"
#include "records/record_tally.h"
#include "support/missing_package.h"
#include "support/temp_folder.h"
#include "support/wait.h"

#include <gtest/gtest.h>
#include <mutex>

namespace orvane {
namespace {

using namespace std::chrono_literals;

class LineTest : public ::testing::Test {
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
            "DROP TABLE IF EXISTS records, orvane_schema, stations, station_commands, jobs, audit"));
        ASSERT_TRUE(PostgresStore::initialise(server_->uri()).ok);
        ASSERT_TRUE(load_.connected());
        view_.watch([this](const std::string& message) {
            const std::lock_guard lock(mutex_);
            messages_.push_back(JsonFields::parse(message));
        });
    }

    JsonFields line() const { return JsonFields::parse(view_.json()); }
    bool shows(const std::function<bool(const JsonFields&)>& met) {
        return test::waitUntil([&] { return met(line()); }, 5s);
    }
    std::vector<JsonFields> messages() {
        const std::lock_guard lock(mutex_);
        return messages_;
    }

    static std::unique_ptr<test::PostgresServer> server_;
    test::LineLoad load_{server_->uri()};
    LineView view_{{2s, 0, "en", true}};
    std::mutex mutex_;
    std::vector<JsonFields> messages_;
};

std::unique_ptr<test::PostgresServer> LineTest::server_;

TEST_F(LineTest, FollowsTheRowsAndMarksWhatNeedsAPerson) {
    StationSnapshot a = test::loadStation(3);
    ASSERT_TRUE(load_.publish("A <b>", a));
    ASSERT_TRUE(load_.publish("B", test::loadStation(1)));
    LineReader reader(server_->uri(), view_);
    std::string error;
    ASSERT_TRUE(reader.start(error)) << error;
    EXPECT_EQ(line()["stations"].size(), 2u);

    a.slots[0].state = SlotState::Failed;
    a.slots[1].state = SlotState::WaitingForLabel;
    a.slots[2].state = SlotState::Flashing;
    ASSERT_TRUE(load_.publish("A <b>", a));
    ASSERT_TRUE(load_.stop("B"));
    ASSERT_TRUE(shows([](const JsonFields& l) {
        return l["needsPerson"]["failed"] == 1 && l["stations"]["B"]["status"] == "stopped";
    })) << view_.json();
    const JsonFields shown = line();
    EXPECT_EQ(shown["needsPerson"]["waitingForLabel"], 1);
    EXPECT_EQ(shown["stations"]["A <b>"]["state"]["slots"][2]["state"], "flashing");
    // Each change reached the page as a "state" message naming its station.
    const auto told = messages();
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [](const JsonFields& m) {
        return m["station"] == "A <b>" && m["entry"]["state"]["slots"][0]["state"] == "failed";
    }));

    // A falls silent: past --stale-after by the server's clock it is not heard from; a stopped
    // station never is.
    ASSERT_TRUE(
        shows([](const JsonFields& l) { return l["stations"]["A <b>"]["status"] == "notHeardFrom"; }));
    EXPECT_EQ(line()["needsPerson"]["notHeardFrom"], 1);
    EXPECT_EQ(line()["stations"]["B"]["status"], "stopped");
    ASSERT_TRUE(load_.publish("A <b>", a));
    EXPECT_TRUE(shows([](const JsonFields& l) { return l["stations"]["A <b>"]["status"] == "running"; }));
}

UpgradeRecord attempt(const std::string& station, const std::string& unit, std::string ending,
                      std::int64_t startedMs) {
    UpgradeRecord record;
    record.id = newRecordId();
    record.startedMs = startedMs;
    record.station = station;
    record.port = "/dev/pts/1";
    record.slot = "s1";
    record.unit = unit;
    record.plug = record.id;
    record.ending = std::move(ending);
    return record;
}

TEST_F(LineTest, CountsTheShiftAndTheDayAsTheRecordsSummaryDoes) {
    ASSERT_TRUE(load_.publish("A", test::loadStation(1)));
    LineReader reader(server_->uri(), view_);
    std::string error;
    ASSERT_TRUE(reader.start(error)) << error;
    const std::int64_t started = view_.shiftStarts().at("A");
    const test::TempFolder folder;
    StoreStatus status;
    auto store = PostgresStore::open(server_->uri(), (folder.path() / "spool.sqlite").string(), status);
    ASSERT_TRUE(store) << status.reason;
    // Before the shift (still today unless the day began this very minute), then the shift's:
    // u1 fails then passes, u2 passes, one still runs.
    const std::vector<UpgradeRecord> written{attempt("A", "u0", "failed", started - 30'000),
                                             attempt("A", "u1", "failed", started + 1000),
                                             attempt("A", "u1", "succeeded", started + 2000),
                                             attempt("A", "u2", "succeeded", started + 3000),
                                             attempt("A", "u3", "running", started + 4000),
                                             attempt("elsewhere", "u9", "succeeded", started + 5000)};
    for (UpgradeRecord record : written) {
        if (record.unit == "u2") { // version 2, released mid-shift
            record.job = "cam-fw";
            record.jobVersion = 2;
        }
        ASSERT_TRUE(store->put(record).ok);
    }
    load_.publish("A", test::loadStation(1)); // its counters moved: the page counts again
    StationSnapshot moved = test::loadStation(1);
    moved.total.succeeded = 2;
    ASSERT_TRUE(load_.publish("A", moved));
    ASSERT_TRUE(shows([](const JsonFields& l) { return l["stations"]["A"]["shift"]["succeeded"] == 2; }))
        << view_.json();
    const JsonFields shift = line()["stations"]["A"]["shift"];
    EXPECT_EQ(shift["notSucceeded"], 1);
    EXPECT_EQ(shift["firstPassYield"], 50.0);
    EXPECT_EQ(shift["finalYield"], 100.0);

    // The day, as records --summary counts the same records.
    const std::vector<UpgradeRecord> day(written.begin(), written.end() - 1);
    const RecordSummary summary = summarise(day);
    const RecordTally& counted = summary.stations.front();
    const JsonFields shown = line()["stations"]["A"]["day"];
    if (view_.dayStart() <= started - 30'000) {
        EXPECT_EQ(shown["notSucceeded"], counted.counts[1]);
        EXPECT_EQ(shown["firstPassYield"], yieldPercentJson(counted.units.firstPassYield()));
        EXPECT_EQ(shown["finalYield"], yieldPercentJson(counted.units.finalYield()));
        EXPECT_EQ(shown["finalYield"], 66.7);
    }
    EXPECT_EQ(line()["day"]["succeeded"], 3) << "the line's day holds every station's";
    const JsonFields jobs = line()["jobs"];
    ASSERT_EQ(jobs.size(), 2u) << jobs;
    EXPECT_EQ(jobs[1]["job"], "cam-fw");
    EXPECT_EQ(jobs[1]["jobVersion"], 2);
    EXPECT_EQ(jobs[1]["day"]["succeeded"], 1);
    EXPECT_EQ(jobs[0]["job"], nullptr) << "records made without a job";
}

TEST_F(LineTest, ServesTheLineAndSendsAPauseToTheStation) {
    ASSERT_TRUE(load_.publish("A", test::loadStation(2)));
    LineReader reader(server_->uri(), view_);
    std::string error;
    ASSERT_TRUE(reader.start(error)) << error;
    const std::string token(64, 'c');
    DashboardSettings settings;
    settings.token = token;
    settings.control = true;
    LineControl control(server_->uri());
    LineServer server(view_, settings, &control);
    ASSERT_TRUE(server.start(error)) << error;
    const test::Fields allowed{{"Authorization", "Bearer " + token},
                               {"Origin", "http://127.0.0.1:" + std::to_string(server.port())}};

    const auto page = test::fetch(server.port(), "GET", "/api/line", allowed);
    ASSERT_TRUE(page);
    EXPECT_EQ(JsonFields::parse(page->body)["stations"]["A"]["state"]["slots"].size(), 2u);
    EXPECT_EQ(test::fetch(server.port(), "GET", "/api/line")->status, 401);
    EXPECT_EQ(test::fetch(server.port(), "POST", "/api/pause?station=A", allowed)->status, 200);
    EXPECT_EQ(test::fetch(server.port(), "POST", "/api/resume?station=nobody", allowed)->status, 404);
    EXPECT_TRUE(server_->psql("SELECT 1 / (SELECT (count(*) = 1)::int FROM station_commands "
                              "WHERE station = 'A' AND command = 'pause')"));

    test::Probe events(server.port());
    events.send(test::requestText("GET", "/api/events", server.port(), allowed));
    const std::string first =
        events.receive(3s, [](const std::string& got) { return got.find("\n\n") != got.npos; });
    EXPECT_NE(first.find("event: snapshot\ndata: {"), std::string::npos) << first;
    ASSERT_TRUE(load_.publish("A", test::loadStation(3)));
    const std::string next =
        events.receive(3s, [](const std::string& got) { return got.find("event: state") != got.npos; });
    EXPECT_NE(next.find(R"("station":"A")"), std::string::npos) << next;
}

TEST(LineDay, StartsAtTheGivenTimeOfTheHostsDay) {
    struct Case {
        const char* text;
        std::optional<int> minutes;
    };
    for (const Case& c :
         {Case{"00:00", 0}, Case{"06:30", 390}, Case{"23:59", 1439}, Case{"24:00", std::nullopt},
          Case{"6:30", std::nullopt}, Case{"06:60", std::nullopt}, Case{"0a:00", std::nullopt}}) {
        EXPECT_EQ(parseDayStart(c.text), c.minutes) << c.text;
    }
    setenv("TZ", "UTC", 1);
    tzset();
    const std::int64_t noon = 1'765'368'000'000; // 2025-12-10T12:00:00Z
    EXPECT_EQ(dayStartMs(noon, 0), noon - 12 * 3'600'000);
    EXPECT_EQ(dayStartMs(noon, 6 * 60), noon - 6 * 3'600'000);
    EXPECT_EQ(dayStartMs(noon, 22 * 60), noon - 14 * 3'600'000) << "yesterday's 22:00";
}

} // namespace
} // namespace orvane
