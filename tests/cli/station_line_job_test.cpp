// Stations on the line's released job, against a real PostgreSQL 15 server the test starts
// itself: the versions a shift takes, the options a job fixes, and a server stopped mid-shift.
#include "../records/postgres_server.h"
#include "cli_process.h"
#include "imagetools/sha256.h"
#include "records/postgres_store.h"
#include "sim/virtual_camera.h"
#include "support/missing_package.h"
#include "support/wait.h"

#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace orvane::test {
namespace {

constexpr int speed = 115200;

std::string hexOf(const std::string& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += {digits[c >> 4], digits[c & 15]};
    }
    return hex;
}

std::string shaOf(const std::string& bytes) {
    return hexDigest(sha256Of(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

// A release as `job release` makes it, then the notification it sends.
std::string releaseSql(int version, const std::string& bytes, const std::string& sha) {
    return "INSERT INTO jobs (name, version, image, image_name, image_size, image_sha256, line_speed, "
           "upgrade_speed) VALUES ('cam', " +
           std::to_string(version) + ", '\\x" + hexOf(bytes) + "', 'fw-" + std::to_string(version) +
           ".bin', " + std::to_string(bytes.size()) + ", '" + sha + "', " + std::to_string(speed) + ", " +
           std::to_string(speed) + "); NOTIFY orvane_jobs, 'cam'";
}

class LineJob : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server_.available()) {
            if (!server_.installed())
                GTEST_SKIP() << missingPackage("postgresql-15", server_.whyNot());
            GTEST_SKIP() << "no PostgreSQL server for this test: " << server_.whyNot();
        }
        ASSERT_EQ(runCli({"records", "--init", "--records", server_.uri()}).exitCode, 0);
        std::filesystem::create_directories(dir_.file("watched"));
        setenv("XDG_STATE_HOME", dir_.file("state").c_str(), 1); // the spool and the job's copy
    }
    void TearDown() override { unsetenv("XDG_STATE_HOME"); }

    std::unique_ptr<VirtualCamera> plugged(const std::string& name) {
        VirtualCameraOptions options;
        options.lineSpeed = speed;
        options.upgradeSpeed = speed;
        options.linkPath = dir_.file("watched/" + name);
        auto camera = std::make_unique<VirtualCamera>(options);
        EXPECT_TRUE(camera->start()) << camera->error();
        return camera;
    }

    // The server's records: the image SHA-256s of each plug's attempts, by camera.
    std::map<std::string, std::set<std::string>> shasByPlug(std::size_t& count) {
        StoreStatus status;
        const auto store = PostgresStore::openForReading(server_.uri(), status);
        std::map<std::string, std::set<std::string>> byPlug;
        count = 0;
        for (const UpgradeRecord& record : store ? store->find({}, status) : std::vector<UpgradeRecord>{}) {
            byPlug[std::filesystem::path(record.port).filename().string() + "/" + record.plug].insert(
                record.imageSha256 + " " + record.job.value_or("-") + "@" +
                std::to_string(record.jobVersion.value_or(0)));
            count += record.ending == "succeeded" ? 1 : 0;
        }
        return byPlug;
    }

    PostgresServer server_;
    const TempFolder dir_;
};

TEST_F(LineJob, OptionsTheJobFixesAreRefused) {
    const std::string uri = server_.uri();
    writeFile(dir_.file("fw.bin"), "x");
    for (const std::vector<std::string>& extra : {std::vector<std::string>{dir_.file("fw.bin")},
                                                  {"--bps", "9600"},
                                                  {"--low-latency"},
                                                  {"--max-resends", "3"},
                                                  {"--approved", "list.txt"},
                                                  {"--records", "none"},
                                                  {"--job", "cam@0"}}) {
        std::vector<std::string> args{"station", "--job", "cam", "--records", uri, "--port", "ttyX"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult result = runCli(args);
        EXPECT_EQ(result.exitCode, 2) << extra.front() << result.err;
        EXPECT_NE(result.err.find(extra.front() == dir_.file("fw.bin") ? "IMAGE" : extra.front()),
                  std::string::npos)
            << result.err;
    }
    EXPECT_EQ(runCli({"station", "--job", "cam", "--records", uri, "--port", "ttyX"}).exitCode,
              3); // none yet
}

TEST_F(LineJob, AVersionReleasedMidShiftIsTakenBetweenPlugsThroughAServerStop) {
    const std::string first(3000, '\x11');
    const std::string second(2500, '\x22');
    ASSERT_TRUE(server_.psql(releaseSql(1, first, shaOf(first))));
    CliProcess station({"station", "--job", "cam", "--records", server_.uri(), "--watch",
                        dir_.file("watched"), "--json", "--station-name", "bench"});
    ASSERT_TRUE(station.waitForLine("\"taken\"", 10s)) << station.errSoFar();
    std::vector<std::unique_ptr<VirtualCamera>> cameras;
    std::size_t done = 0;
    const auto succeeded = [&](std::size_t count) {
        return waitUntil([&] { return shasByPlug(done), done == count; }, 30s);
    };
    cameras.push_back(plugged("cam0"));
    ASSERT_TRUE(succeeded(1));
    ASSERT_TRUE(server_.psql(releaseSql(2, second, shaOf(second))));
    ASSERT_TRUE(station.waitForLine("\"version\":2", 10s)) << station.outSoFar() << station.errSoFar();
    cameras.push_back(plugged("cam1"));
    ASSERT_TRUE(succeeded(2));
    ASSERT_TRUE(server_.stop());
    cameras.push_back(plugged("cam2")); // flashed with the version held, its record spooled
    ASSERT_TRUE(cameras.back()->waitForVerdict(30s)) << station.outSoFar() << station.errSoFar();
    ASSERT_TRUE(server_.start());
    cameras.push_back(plugged("cam3")); // its record takes the spooled one along
    ASSERT_TRUE(succeeded(4));
    station.interrupt(SIGINT);
    const CliResult result = station.wait(20s);

    EXPECT_EQ(result.exitCode, 128 + SIGINT) << result.err;
    const auto byPlug = shasByPlug(done);
    const std::vector<std::string> expected{shaOf(first) + " cam@1", shaOf(second) + " cam@2",
                                            shaOf(second) + " cam@2", shaOf(second) + " cam@2"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto plug = std::find_if(byPlug.begin(), byPlug.end(), [&](const auto& entry) {
            return entry.first.starts_with("cam" + std::to_string(i) + "/");
        });
        ASSERT_NE(plug, byPlug.end()) << i;
        EXPECT_EQ(plug->second, std::set<std::string>{expected[i]}) << i; // no plug mixes two versions
    }
    std::size_t unanswered = 0;
    for (const std::string& line : linesOf(result.out)) {
        const auto event = nlohmann::json::parse(line);
        unanswered += event["event"] == "stationJob" && event["state"] == "unanswered" ? 1 : 0;
    }
    EXPECT_LE(unanswered, 1U); // said once at most (the stop may fall between two looks)
    // The audit's rows of this station: started on version 1, stopped on 2 (0 rows: a failure).
    EXPECT_TRUE(server_.psql("SELECT 1 / count(*) FROM (SELECT string_agg(action || ' ' || job_version, ',' "
                             "ORDER BY id) AS said FROM audit WHERE station = 'bench') AS rows "
                             "WHERE said = 'station started 1,station stopped 2'"));
}

} // namespace
} // namespace orvane::test
