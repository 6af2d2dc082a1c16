// A production shift of `orvane-cli station` over virtual cameras whose links come and go in a
// watched folder, counted through the records it keeps.
#include "cli_process.h"
#include "records/sqlite_store.h"
#include "sim/virtual_camera.h"
#include "support/wait.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {
namespace {

constexpr int speed = 115200;

std::unique_ptr<VirtualCamera> plugged(const TempFolder& dir, const std::string& name,
                                       CameraFaults faults = {}, std::chrono::milliseconds flashTime = {}) {
    VirtualCameraOptions options;
    options.lineSpeed = speed;
    options.upgradeSpeed = speed;
    options.linkPath = dir.file("watched/" + name);
    options.faults = faults;
    options.flashTime = flashTime;
    auto camera = std::make_unique<VirtualCamera>(options);
    EXPECT_TRUE(camera->start()) << camera->error();
    return camera;
}

// Attempts kept so far, by the link's name, in order: their endings ("unplugged" for a camera
// pulled out, a failure with its resends).
std::map<std::string, std::vector<std::string>> attemptsIn(const std::string& file,
                                                           std::set<std::string>* digests = nullptr) {
    StoreStatus status;
    std::map<std::string, std::vector<std::string>> byCamera;
    const auto store = SqliteStore::open(file, status);
    if (!store) {
        return byCamera;
    }
    auto records = store->find({}, status);
    std::reverse(records.begin(), records.end()); // the newest come first
    for (const UpgradeRecord& record : records) {
        const std::string name = std::filesystem::path(record.port).filename().string();
        if (digests != nullptr) {
            digests->insert(record.imageSha256);
        }
        const bool failed = record.ending == "failed";
        byCamera[name].push_back(record.reason == "unplugged" ? "unplugged"
                                 : failed ? "failed after " + std::to_string(record.resends) + " resends"
                                          : record.ending);
    }
    return byCamera;
}

TEST(StationShift, EachPlugFlashedOnceUntilTheSignal) {
    const TempFolder dir;
    std::filesystem::create_directory(dir.file("watched"));
    writeFile(dir.file("fw.bin"), std::string(3000, '\x5a'));
    const std::string records = dir.file("records.sqlite");
    CliProcess station({"station", dir.file("fw.bin"), "--watch", dir.file("watched"), "--records", records,
                        "--bps", std::to_string(speed), "--upbps", std::to_string(speed), "--json",
                        "--retries", "1"});
    ASSERT_TRUE(station.waitForLine("\"station\"", 10s));

    std::vector<std::unique_ptr<VirtualCamera>> cameras;
    std::mt19937 random(7);
    for (int i = 0; i < 8; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 400));
        cameras.push_back(plugged(dir, "cam" + std::to_string(i)));
    }
    CameraFaults pulledOut;
    pulledOut.vanishAtBlock = 2;
    auto pulled = plugged(dir, "pulled", pulledOut);
    CameraFaults refusing;
    refusing.nakEvery = 1;
    auto refuser = plugged(dir, "refuser", refusing);

    const auto attempts = [&records] { return attemptsIn(records); };
    ASSERT_TRUE(
        waitUntil([&] { return attempts()["pulled"] == std::vector<std::string>{"unplugged"}; }, 20s));
    // What is sent stays what was read at the start.
    writeFile(dir.file("fw.bin"), std::string(3000, '\x33'));
    pulled->setFaults({});
    ASSERT_TRUE(pulled->comeBack());
    ASSERT_TRUE(waitUntil(
        [&] {
            auto now = attempts();
            return now.size() == 10 && now["pulled"].size() == 2 && now["refuser"].size() == 2 &&
                   std::all_of(now.begin(), now.end(),
                               [](const auto& camera) { return camera.second.back() != "running"; });
        },
        30s));
    // A camera left in is never flashed again.
    std::this_thread::sleep_for(1500ms);
    auto slow = plugged(dir, "slow", {}, 1000ms);
    ASSERT_TRUE(waitUntil([&] { return !slow->receivedFrames(HostFrameKind::Block).empty(); }, 10s));
    station.interrupt(SIGTERM);
    const CliResult result = station.wait(20s);

    EXPECT_EQ(result.exitCode, 128 + SIGTERM);
    std::set<std::string> digests;
    const auto kept = attemptsIn(records, &digests);
    EXPECT_EQ(digests.size(), 1U);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
        << result.err; // the change, said once
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(kept.at("cam" + std::to_string(i)), std::vector<std::string>{"succeeded"}) << i;
    }
    EXPECT_EQ(kept.at("pulled"), (std::vector<std::string>{"unplugged", "succeeded"}));
    EXPECT_EQ(kept.at("refuser"), std::vector<std::string>(2, "failed after 20 resends"));
    EXPECT_EQ(kept.at("slow"), std::vector<std::string>{"cancelled"});
    // The camera reads the AbortFrame once its flash of the block is over.
    EXPECT_TRUE(waitUntil([&] { return !slow->receivedFrames(HostFrameKind::Abort).empty(); }, 3s));
    const auto lines = linesOf(result.out);
    ASSERT_FALSE(lines.empty());
    // Attempts are numbered within their plug: a retry goes on, an unplug starts again.
    std::map<std::string, std::vector<int>> numbered;
    for (const std::string& line : lines) {
        const auto event = nlohmann::json::parse(line);
        if (event["event"] == "result") {
            numbered[std::filesystem::path(event["port"].get<std::string>()).filename()].push_back(
                event["attempt"]);
        }
    }
    EXPECT_EQ(numbered["refuser"], (std::vector<int>{1, 2}));
    EXPECT_EQ(numbered["pulled"], (std::vector<int>{1, 1}));
    const auto summary = nlohmann::json::parse(lines.back());
    EXPECT_EQ(summary["event"], "stationSummary");
    EXPECT_EQ(summary["succeeded"], 9);
    EXPECT_EQ(summary["notSucceeded"], 3); // the pulled plug, the refuser and the slow one
}

// A loopback socket to port, or bound to a free port when port is 0 (its number then read).
int loopbackSocket(int port, bool connectIt) {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto* at = reinterpret_cast<const sockaddr*>(&address);
    if ((connectIt ? ::connect(sock, at, sizeof address) : ::bind(sock, at, sizeof address)) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

// A client of the page that sends its request's head a little at a time must not hold the
// station's stop: the station ends at once and the camera in flight is told.
TEST(StationShift, ASlowPageClientDoesNotHoldTheStop) {
    const TempFolder dir;
    std::filesystem::create_directory(dir.file("watched"));
    writeFile(dir.file("fw.bin"), std::string(3000, '\x5a'));
    const int probe = loopbackSocket(0, false);
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&bound), &size);
    const int port = ntohs(bound.sin_port);
    ::close(probe);
    CliProcess station({"station", dir.file("fw.bin"), "--watch", dir.file("watched"), "--records", "none",
                        "--bps", std::to_string(speed), "--upbps", std::to_string(speed), "--json", "--http",
                        std::to_string(port)});
    ASSERT_TRUE(station.waitForLine("\"station\"", 10s));
    auto slow = plugged(dir, "slow", {}, 1000ms);
    ASSERT_TRUE(waitUntil([&] { return !slow->receivedFrames(HostFrameKind::Block).empty(); }, 10s));
    int client = -1;
    ASSERT_TRUE(waitUntil([&] { return (client = loopbackSocket(port, true)) >= 0; }, 5s));
    const std::string part = "GET / HTTP/1.1\r\nX-Slow: a";
    ASSERT_EQ(::send(client, part.data(), part.size(), 0), static_cast<ssize_t>(part.size()));
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    station.interrupt(SIGINT);
    const CliResult result = station.wait(20s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(result.exitCode, 128 + SIGINT);
    EXPECT_TRUE(waitUntil([&] { return !slow->receivedFrames(HostFrameKind::Abort).empty(); }, 3s));
    ::close(client);
}

} // namespace
} // namespace orvane::test
