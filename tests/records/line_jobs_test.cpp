// The jobs released to a line, against a real PostgreSQL 15 server the test starts itself.
#include "postgres_server.h"
#include "records/line_jobs.h"
#include "records/postgres_store.h"
#include "support/missing_package.h"

#include <gtest/gtest.h>
#include <thread>

namespace orvane {
namespace {

// Two images whose SHA-256 every reference gives.
const std::vector<std::uint8_t> abc{'a', 'b', 'c'};
constexpr const char* abcSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::vector<std::uint8_t> empty;
constexpr const char* emptySha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

class LineJobsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = std::make_unique<test::PostgresServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_->available()) {
            if (!server_->installed())
                GTEST_SKIP() << test::missingPackage("postgresql-15", server_->whyNot());
            GTEST_SKIP() << "no PostgreSQL server for this test: " << server_->whyNot();
        }
        ASSERT_TRUE(server_->psql("DROP TABLE IF EXISTS records, orvane_schema, jobs, audit, stations, "
                                  "station_commands"));
        const StoreStatus made = PostgresStore::initialise(server_->uri());
        ASSERT_TRUE(made.ok) << made.reason;
        jobs_ = open();
    }

    static std::unique_ptr<LineJobs> open() {
        JobsStatus status;
        auto jobs = LineJobs::open(server_->uri(), status);
        EXPECT_TRUE(jobs) << status.reason;
        return jobs;
    }

    static std::int64_t release(LineJobs& jobs, const std::vector<std::uint8_t>& image, const char* sha256,
                                const std::string& who) {
        std::int64_t version = 0;
        const JobsStatus status = jobs.release(
            {"cam-fw", "fw.bin", image, sha256, {"motor", 3, 9600, 115200, true, 5}, "", who}, version);
        EXPECT_TRUE(status.ok) << status.reason;
        return version;
    }

    static std::unique_ptr<test::PostgresServer> server_;
    std::unique_ptr<LineJobs> jobs_;
};

std::unique_ptr<test::PostgresServer> LineJobsTest::server_;

TEST_F(LineJobsTest, ARetiredJobComesBackAsItsNextVersion) {
    EXPECT_EQ(release(*jobs_, abc, abcSha256, "ana"), 1);
    EXPECT_EQ(release(*jobs_, empty, emptySha256, "bo"), 2); // an empty image is the caller's to refuse
    ASSERT_TRUE(jobs_->retire("cam-fw", "ana", "recall").ok);
    const FetchedJob retired = jobs_->fetch("cam-fw", std::nullopt);
    EXPECT_TRUE(retired.retired && !retired.job && retired.status.ok) << retired.status.reason;
    EXPECT_NE(jobs_->retire("cam-fw", "ana", "").reason.find("retired already"), std::string::npos);
    EXPECT_EQ(release(*jobs_, abc, abcSha256, "cy"), 3);

    JobsStatus status;
    const std::vector<JobState> states = jobs_->list(status);
    ASSERT_EQ(states.size(), 1U) << status.reason;
    EXPECT_FALSE(states[0].retired);
    EXPECT_EQ(states[0].latest.version, 3);
    EXPECT_EQ(states[0].latest.operatorName, "cy");
    const FetchedJob second = jobs_->fetch("cam-fw", 2);
    ASSERT_TRUE(second.job) << second.status.reason;
    EXPECT_EQ(second.job->image, empty);
    EXPECT_EQ(second.job->imageSha256, emptySha256);
    const FetchedJob latest = jobs_->fetch("cam-fw", std::nullopt);
    ASSERT_TRUE(latest.job) << latest.status.reason;
    EXPECT_EQ(latest.job->image, abc);
    EXPECT_EQ(latest.job->settings.upgradeSpeed, 115200);
    EXPECT_TRUE(latest.job->settings.lowLatency);
    EXPECT_NE(jobs_->fetch("cam-fw", 4).status.reason.find("no version 4 (its latest is 3)"),
              std::string::npos);
    EXPECT_NE(jobs_->fetch("other", std::nullopt).status.reason.find("No job other"), std::string::npos);

    ASSERT_TRUE(jobs_->noteStation(auditStationStarted, "bench-1", "pc-1", "cam-fw", 3, "dee").ok);
    std::string said;
    for (const AuditEntry& e : jobs_->history("cam-fw", status)) {
        said += e.action + " " + (e.jobVersion ? std::to_string(*e.jobVersion) : "-") + " " + e.role + " " +
                e.operatorName + (e.station ? " " + *e.station : "") + "; ";
    }
    EXPECT_EQ(said, "release 1 orvane ana; release 2 orvane bo; retire - orvane ana; release 3 orvane cy; "
                    "station started 3 orvane dee bench-1; ");
}

TEST_F(LineJobsTest, ReleasesAtOnceNeverShareAVersion) {
    auto other = open();
    for (int round = 0; round < 3; ++round) {
        std::int64_t first = 0;
        std::int64_t second = 0;
        std::thread one([&] { first = release(*jobs_, abc, abcSha256, "ana"); });
        std::thread two([&] { second = release(*other, abc, abcSha256, "bo"); });
        one.join();
        two.join();
        EXPECT_EQ(std::min(first, second), 2 * round + 1);
        EXPECT_EQ(std::max(first, second), 2 * round + 2);
    }
}

TEST_F(LineJobsTest, AServerThatDoesNotAnswerIsSaidAsSuch) {
    JobsStatus status;
    const auto jobs = LineJobs::open("postgresql://orvane@/postgres?host=/nonexistent", status);
    (void)jobs->list(status);
    EXPECT_TRUE(!status.ok && status.unreachable);
    EXPECT_NE(status.reason.find("does not answer"), std::string::npos) << status.reason;
}

} // namespace
} // namespace orvane
