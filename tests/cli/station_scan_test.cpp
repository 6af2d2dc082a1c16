// A station given its units' labels by a scanner: one that types on standard input, and one
// that is a serial device of its own (a pseudo-terminal playing it), even in the watched folder.
#include "cli_process.h"
#include "sim/pseudo_terminal.h"
#include "sim/virtual_camera.h"
#include "support/wait.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <termios.h>
#include <unistd.h>

namespace orvane::test {
namespace {

constexpr int speed = 115200;

struct ScanShift {
    TempFolder dir;
    std::vector<std::unique_ptr<VirtualCamera>> cameras;

    ScanShift() {
        std::filesystem::create_directory(dir.file("watched"));
        writeFile(dir.file("fw.bin"), std::string(2000, '\x5a'));
    }
    std::vector<std::string> args(std::vector<std::string> more, const std::string& records = "none") const {
        std::vector<std::string> all{
            "station", dir.file("fw.bin"),    "--watch", dir.file("watched"),  "--records", records,
            "--bps",   std::to_string(speed), "--upbps", std::to_string(speed)};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
    VirtualCamera& plug(const std::string& name, VirtualCameraOptions options = {}) {
        options.lineSpeed = speed;
        options.upgradeSpeed = speed;
        options.linkPath = dir.file("watched/" + name);
        cameras.push_back(std::make_unique<VirtualCamera>(options));
        EXPECT_TRUE(cameras.back()->start()) << cameras.back()->error();
        return *cameras.back();
    }
};

void writeAll(int fd, std::string_view bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// --require-unit: the camera waits for its label; a hostile line is refused and given to none.
TEST(StationScan, StandardInputLabelsWithTheUnitRequired) {
    ScanShift shift;
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    CliProcess station(shift.args({"--scan", "-", "--require-unit"}), -1, -1, input[0]);
    ::close(input[0]);
    ASSERT_TRUE(station.waitForLine("Station ready", 10s));
    VirtualCamera& camera = shift.plug("cam0");
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(camera.receivedFrames(HostFrameKind::Block).empty());

    writeAll(input[1], "SN\x1b[2J\r\n  SN-0001 \n");
    EXPECT_TRUE(station.waitForLine("cam0 [SN-0001]: succeeded", 20s)) << station.outSoFar();
    ::close(input[1]);
    station.interrupt(SIGINT);
    const CliResult result = station.wait(20s);
    EXPECT_EQ(result.exitCode, 128 + SIGINT);
    EXPECT_NE(result.err.find("Label refused: the label holds the control or invisible character U+001B"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("\x1b[2J"), std::string::npos);
}

// A scanner that types on the station's terminal: no echo to break the rows while it runs,
// the terminal as it was after a Ctrl-C.
TEST(StationScan, TerminalEchoOffWhileReadAndBackAfterCtrlC) {
    ScanShift shift;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    const auto echoing = [terminal] {
        termios now{};
        tcgetattr(terminal, &now);
        return (now.c_lflag & ECHO) != 0;
    };
    ASSERT_TRUE(echoing());
    CliProcess station(shift.args({"--scan", "-"}), -1, -1, terminal);
    ASSERT_TRUE(station.waitForLine("Station ready", 10s));
    EXPECT_TRUE(waitUntil([&] { return !echoing(); }, 5s));
    station.interrupt(SIGINT);
    EXPECT_EQ(station.wait(20s).exitCode, 128 + SIGINT);
    EXPECT_TRUE(echoing());
    ::close(terminal);
    ::close(master);
}

// The scanner sits in the watched folder as by-id links do: it is read, never flashed, and its
// label goes to the camera plugged after it.
TEST(StationScan, SerialScannerInTheWatchedFolder) {
    ScanShift shift;
    PseudoTerminal scanner;
    std::string error;
    ASSERT_TRUE(scanner.open(9600, error)) << error;
    std::filesystem::create_symlink(scanner.slavePath(), shift.dir.file("watched/usb-Scanner-if00"));
    CliProcess station(shift.args({"--scan", shift.dir.file("watched/usb-Scanner-if00")}));
    ASSERT_TRUE(station.waitForLine("Station ready", 10s));

    writeAll(scanner.masterFd(), "\xe5\x8d\x95-7\r");
    std::this_thread::sleep_for(500ms);
    shift.plug("cam1");
    EXPECT_TRUE(station.waitForLine("cam1 [\xe5\x8d\x95-7]: succeeded", 20s)) << station.outSoFar();
    station.interrupt(SIGTERM);
    const CliResult result = station.wait(20s);
    EXPECT_EQ(result.out.find("usb-Scanner-if00"), std::string::npos) << result.out;
    EXPECT_EQ(result.exitCode, 128 + SIGTERM);
}

// A shift's yields as a line reads them the next morning: six labelled cameras, two failing once
// and passing on their retry, one cancelled by the signal in flight. By hand: five units judged,
// three passed first time (60 %), all five in the end; eight attempts over six units.
TEST(StationScan, YieldsByUnitFromTheRecords) {
    ScanShift shift;
    const std::string file = shift.dir.file("records.sqlite");
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    CliProcess station(
        shift.args({"--scan", "-", "--require-unit", "--retries", "1", "--max-resends", "2"}, file), -1, -1,
        input[0]);
    ::close(input[0]);
    ASSERT_TRUE(station.waitForLine("Station ready", 10s));
    for (int i = 1; i <= 6; ++i) {
        const std::string name = "cam" + std::to_string(i);
        VirtualCameraOptions options;
        VirtualCamera* camera = nullptr;
        if (i == 2 || i == 4) {
            // Every block refused until the third send of the first attempt, which then fails.
            options.faults.nakEvery = 1;
            options.onEvent = [&camera, sent = 0](const CameraEvent& event) mutable {
                if (event.kind == CameraEvent::Kind::Received && event.frameKind == HostFrameKind::Block &&
                    ++sent == 3) {
                    camera->setFaults({});
                }
            };
        }
        options.flashTime = i == 6 ? 1000ms : 0ms;
        camera = &shift.plug(name, options);
        ASSERT_TRUE(station.waitForLine(name + ": camera plugged in", 10s)) << station.outSoFar();
        writeAll(input[1], "SN-" + std::to_string(i) + "\n");
        if (i < 6) {
            ASSERT_TRUE(station.waitForLine(name + " [SN-" + std::to_string(i) + "]" +
                                                (i == 2 || i == 4 ? " (retry 1 of 1)" : "") + ": succeeded",
                                            20s))
                << station.outSoFar();
        }
    }
    ASSERT_TRUE(
        waitUntil([&] { return !shift.cameras.back()->receivedFrames(HostFrameKind::Block).empty(); }, 10s));
    ::close(input[1]);
    station.interrupt(SIGINT);
    EXPECT_EQ(station.wait(20s).exitCode, 128 + SIGINT);

    const CliResult summary = runCli({"records", "--records", file, "--summary", "--json"});
    const auto image = nlohmann::json::parse(linesOf(summary.out).at(0));
    EXPECT_EQ(image["by"], "image") << summary.out;
    EXPECT_EQ(std::vector<nlohmann::json>({image["attempts"], image["units"], image["cancelled"],
                                           image["firstPassYield"], image["finalYield"]}),
              std::vector<nlohmann::json>({8, 6, 1, 0.6, 1.0}))
        << summary.out;
    const auto byStation = nlohmann::json::parse(linesOf(summary.out).at(1));
    EXPECT_EQ(byStation["firstPassYield"], 0.6);
    EXPECT_EQ(byStation["finalYield"], 1.0);

    const CliResult units = runCli({"records", "--records", file, "--summary", "--by", "unit", "--json"});
    std::map<std::string, std::pair<int, std::string>> byUnit;
    std::set<std::string> holding;
    for (const std::string& line : linesOf(units.out)) {
        const auto event = nlohmann::json::parse(line);
        if (event["event"] == "unitSummary") {
            byUnit[event["unit"]] = {event["attempts"], event["lastEnding"]};
            holding.insert(event["sha256"].is_null() ? "none" : "image");
        }
    }
    const std::map<std::string, std::pair<int, std::string>> expected{
        {"SN-1", {1, "succeeded"}}, {"SN-2", {2, "succeeded"}}, {"SN-3", {1, "succeeded"}},
        {"SN-4", {2, "succeeded"}}, {"SN-5", {1, "succeeded"}}, {"SN-6", {1, "cancelled"}}};
    EXPECT_EQ(byUnit, expected) << units.out;
    EXPECT_EQ(holding, (std::set<std::string>{"image", "none"}));
}

} // namespace
} // namespace orvane::test
