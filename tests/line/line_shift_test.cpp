// A whole line on one machine: a PostgreSQL 15 server of the test's own, a job released through
// orvane-cli, three stations of the real orvane-cli over cameras of their own, and the line's
// page. A second version mid-shift, a station killed, one stopped, and the server gone a while.
#include "../dashboard/http_probe.h"
#include "cli_process.h"
#include "postgres_server.h"
#include "sim/virtual_camera.h"
#include "support/missing_package.h"
#include "support/wait.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {
namespace {

constexpr int speed = 115200;
constexpr int stations = 3;
constexpr int camerasEach = 4;

int freePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof bound;
    ::bind(probe, reinterpret_cast<sockaddr*>(&bound), size);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&bound), &size);
    ::close(probe);
    return ntohs(bound.sin_port);
}

// The attempts a station's --json has ended, failed or not.
std::size_t resultsIn(const std::string& out) {
    std::size_t count = 0;
    for (const std::string& line : linesOf(out)) {
        count += nlohmann::json::parse(line, nullptr, false).value("event", "") == "result" ? 1 : 0;
    }
    return count;
}

class Line : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server_.available()) {
            if (!server_.installed())
                GTEST_SKIP() << missingPackage("postgresql-15", server_.whyNot());
            GTEST_SKIP() << "no PostgreSQL server for this test: " << server_.whyNot();
        }
        ASSERT_EQ(runCli({"records", "--init", "--records", server_.uri()}).exitCode, 0);
    }

    void release(const std::string& image, char fill, std::size_t size) {
        writeFile(dir_.file(image), std::string(size, fill));
        const CliResult released =
            runCli({"job", "release", "cam", dir_.file(image), "--bps", std::to_string(speed), "--upbps",
                    std::to_string(speed), "--records", server_.uri()});
        ASSERT_EQ(released.exitCode, 0) << released.err;
    }

    // Station i over a folder of its own, its spool and job copy in a state folder of its own.
    void startStation(int i) {
        const std::string name = "line-" + std::to_string(i);
        std::filesystem::create_directories(dir_.file(name + "/watched"));
        setenv("XDG_STATE_HOME", dir_.file(name + "/state").c_str(), 1);
        auto started = std::make_unique<CliProcess>(
            std::vector<std::string>{"station", "--job", "cam", "--records", server_.uri(), "--watch",
                                     dir_.file(name + "/watched"), "--json", "--station-name", name});
        unsetenv("XDG_STATE_HOME");
        EXPECT_TRUE(started->waitForLine("\"taken\"", 10s)) << started->errSoFar();
        shift_.push_back(std::move(started));
    }

    VirtualCamera& plug(int station, int camera) {
        VirtualCameraOptions options;
        options.lineSpeed = speed;
        options.upgradeSpeed = speed;
        options.linkPath =
            dir_.file("line-" + std::to_string(station) + "/watched/cam" + std::to_string(camera));
        cameras_.push_back(std::make_unique<VirtualCamera>(options));
        EXPECT_TRUE(cameras_.back()->start()) << cameras_.back()->error();
        return *cameras_.back();
    }

    // Cameras [from, to) of the given stations plugged, each flashed with an image of size
    // bytes (the version's), until each station has said to results. midway runs once every
    // camera has had a block.
    void flash(const std::vector<int>& which, int from, int to, std::size_t size,
               const std::function<void()>& midway = {}) {
        std::vector<VirtualCamera*> plugged;
        for (const int s : which) {
            for (int c = from; c < to; ++c) {
                plugged.push_back(&plug(s, c));
            }
        }
        if (midway) {
            ASSERT_TRUE(waitUntil(
                [&] {
                    return std::ranges::none_of(plugged, [](const VirtualCamera* camera) {
                        return camera->receivedFrames(HostFrameKind::Block).empty();
                    });
                },
                20s));
            midway();
        }
        for (const int s : which) {
            ASSERT_TRUE(waitUntil([&] { return resultsIn(shift_[s]->outSoFar()) == std::size_t(to); }, 20s))
                << shift_[s]->outSoFar();
        }
        for (VirtualCamera* camera : plugged) {
            const auto verdict = camera->lastVerdict();
            EXPECT_TRUE(verdict && verdict->matches && verdict->image.size() == size) << camera->portPath();
        }
    }

    // A station's status on the line's page ("" before the page has it).
    static std::string statusOnThePage(int port, const std::string& name) {
        const auto reply = fetch(port, "GET", "/api/line");
        const auto line = nlohmann::json::parse(reply ? reply->body : "", nullptr, false);
        const auto station =
            line.is_object()
                ? line.value("stations", nlohmann::json::object()).value(name, nlohmann::json::object())
                : nlohmann::json::object();
        return station.is_object() ? station.value("status", "") : "";
    }

    PostgresServer server_;
    const TempFolder dir_;
    std::vector<std::unique_ptr<CliProcess>> shift_;
    std::vector<std::unique_ptr<VirtualCamera>> cameras_;
};

TEST_F(Line, ThreeStationsOneReleasedJob) {
    release("fw-1.bin", '\x11', 3000);
    for (int i = 0; i < stations; ++i) {
        startStation(i);
    }
    const int port = freePort();
    CliProcess page(
        {"line", "--records", server_.uri(), "--http", std::to_string(port), "--stale-after", "2"});
    // Version 2 released while every station's first plugs are under way: they finish on 1.
    ASSERT_NO_FATAL_FAILURE(flash({0, 1, 2}, 0, 2, 3000, [&] { release("fw-2.bin", '\x22', 2500); }));
    for (const auto& running : shift_) {
        ASSERT_TRUE(running->waitForLine("\"version\":2", 10s)) << running->outSoFar();
    }
    ASSERT_NO_FATAL_FAILURE(flash({0, 1}, 2, camerasEach, 2500));

    // One falls silent, one stops cleanly: the page tells them apart.
    std::array<std::string, 2> outs;
    shift_[0]->interrupt(SIGKILL);
    shift_[1]->interrupt(SIGINT);
    for (int i = 0; i < 2; ++i) {
        const CliResult ended = shift_[i]->wait(20s);
        EXPECT_EQ(ended.signal, i == 0 ? SIGKILL : 0);
        EXPECT_EQ(ended.exitCode, i == 0 ? -1 : 128 + SIGINT);
        outs[i] = ended.out;
    }
    EXPECT_TRUE(waitUntil(
        [&] {
            return statusOnThePage(port, "line-0") == "notHeardFrom" &&
                   statusOnThePage(port, "line-1") == "stopped";
        },
        10s))
        << statusOnThePage(port, "line-0") << ", " << statusOnThePage(port, "line-1");

    // The server away: the last station goes on with the version it holds, its records spooled.
    ASSERT_TRUE(server_.stop());
    ASSERT_NO_FATAL_FAILURE(flash({2}, 2, camerasEach, 2500));
    ASSERT_TRUE(server_.start());
    const std::size_t attempts = resultsIn(outs[0]) + resultsIn(outs[1]) + resultsIn(shift_[2]->outSoFar());
    EXPECT_EQ(attempts, static_cast<std::size_t>(stations * camerasEach));
    EXPECT_TRUE(waitUntil(
        [&] { return server_.query("SELECT count(*) FROM records") == std::to_string(attempts) + "\n"; },
        10s))
        << server_.query("SELECT count(*) FROM records");

    // Each plug's attempts (its retries too) on one version: 1 on each station's first two
    // cameras, 2 after.
    std::string expected;
    for (int s = 0; s < stations; ++s) {
        for (int c = 0; c < camerasEach; ++c) {
            expected +=
                "line-" + std::to_string(s) + "|cam" + std::to_string(c) + "|" + (c < 2 ? "1" : "2") + "\n";
        }
    }
    EXPECT_EQ(
        server_.query("SELECT station, regexp_replace(port, '.*/', ''), string_agg(DISTINCT "
                      "job_version::text, ',') FROM records GROUP BY station, port, plug ORDER BY 1, 2"),
        expected);
    shift_[2]->interrupt(SIGINT);
    EXPECT_EQ(shift_[2]->wait(20s).exitCode, 128 + SIGINT);
}

} // namespace
} // namespace orvane::test
