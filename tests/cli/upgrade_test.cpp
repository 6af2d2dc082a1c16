// `upgrade` against `simulate` as two processes over the simulator's link, as a technician
// would try it: every target, the terminal and JSON forms, a silent camera, Ctrl-C, and the
// image or port that cannot be used. Also the in-process `demo`.
#include "cli_process.h"
#include "event_log.h"
#include "output/bar_layout.h"
#include "serial/serial_port.h"
#include "sim/virtual_camera.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <poll.h>
#include <set>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

// After the virtual camera: Qt's "emit" keyword would otherwise stand for its member.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace orvane::test {
namespace {

// `orvane-cli simulate --link DIR/cam ...` for the length of a test (with --count N the
// links are DIR/cam1 ... DIR/camN).
class SimulateProcess {
  public:
    SimulateProcess(const TempFolder& dir, std::vector<std::string> extra = {},
                    const std::string& name = "cam")
        : link_(dir.file(name)) {
        std::vector<std::string> args{"simulate", "--link", link_};
        args.insert(args.end(), extra.begin(), extra.end());
        process_ = std::make_unique<CliProcess>(args);
        const auto count = std::find(extra.begin(), extra.end(), "--count");
        const std::string last = count == extra.end() ? std::string() : "[cam" + *(count + 1) + "] ";
        ready_ = process_->waitForLine(last + "ready:", 10s).has_value();
    }
    bool ready() const { return ready_; }
    const std::string& link() const { return link_; }
    CliProcess& process() { return *process_; }
    // Ctrl-C, as the user stops it; answers everything it printed.
    CliResult stop() {
        process_->interrupt();
        return process_->wait(10s);
    }

  private:
    std::string link_;
    std::unique_ptr<CliProcess> process_;
    bool ready_ = false;
};

std::string imageFile(const TempFolder& dir, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    }
    const std::string path = dir.file("fw.bin");
    writeFile(path, bytes);
    return path;
}

bool hasTerminalControls(const std::string& text) {
    return text.find('\r') != std::string::npos || text.find('\033') != std::string::npos;
}

struct TargetCase {
    const char* target;
    const char* startCommandMeaning;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TargetCase& c, std::ostream* os) {
    *os << c.target;
}

class CliUpgradeTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(CliUpgradeTarget, SucceedsWithPlainLines) {
    const TempFolder dir;
    SimulateProcess camera(dir);
    ASSERT_TRUE(camera.ready()) << camera.process().outSoFar();
    const std::string image = imageFile(dir, 3000);

    const CliResult result =
        runCli({"upgrade", image, "--port", camera.link(), "--target", GetParam().target});
    const CliResult simulated = camera.stop();

    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(
        linesOf(result.out),
        (std::vector<std::string>{"Start", "Send Command successful !", "Send updated datas  progress:0%",
                                  "Send updated datas  progress:34%", "Send updated datas  progress:68%",
                                  "Send updated datas  progress:100%", "Update was successful !"}));
    EXPECT_FALSE(hasTerminalControls(result.out + result.err));
    EXPECT_EQ(simulated.exitCode, 0);
    EXPECT_NE(simulated.out.find(GetParam().startCommandMeaning), std::string::npos) << simulated.out;
    EXPECT_NE(simulated.out.find("verdict match: received 3000 of 3000 bytes"), std::string::npos)
        << simulated.out;
}

INSTANTIATE_TEST_SUITE_P(
    Boards, CliUpgradeTarget,
    ::testing::Values(TargetCase{"main", "rx A5 F6 AA F9 AF | StartCommand, main board"},
                      TargetCase{"motor", "rx A5 F6 55 06 AF | StartCommand, motor board"},
                      TargetCase{"special", "rx A5 F6 A9 FA AF | StartCommand, special target"}),
    [](const auto& test) { return std::string(test.param.target); });

TEST(CliUpgrade, JsonInChineseIsOneObjectPerLine) {
    const TempFolder dir;
    SimulateProcess camera(dir);
    ASSERT_TRUE(camera.ready());
    const std::string image = imageFile(dir, 2048);

    const CliResult result = runCli({"upgrade", image, "--port", camera.link(), "--json", "--lang", "zh"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::vector<std::string> lines = linesOf(result.out);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("{\"event\":\"", 0), 0U) << line;
        EXPECT_EQ(line.back(), '}') << line;
    }
    const std::string port = R"("port":")" + camera.link() + R"(",)";
    EXPECT_EQ(stableEvent(lines.front()), R"({"event":"log",)" + port + R"("text":"开始"})");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&port](const std::string& line) {
        return stableEvent(line).rfind(
                   R"({"event":"progress",)" + port + R"("percent":50,"block":2,"blocks":2,)", 0) == 0;
    })) << result.out;
    // Like each camera's in a station: time, rate and resends.
    EXPECT_EQ(stableEvent(lines.back(), {"seconds", "bytesPerSecond"}),
              R"({"event":"result",)" + port + R"("ok":true,"exitCode":0,"text":"升级成功！","resends":0})");
    const auto last = nlohmann::json::parse(lines.back());
    EXPECT_GT(last["seconds"].get<double>(), 0.0) << lines.back();
    EXPECT_GT(last["bytesPerSecond"].get<double>(), 0.0) << lines.back();
    EXPECT_EQ(result.out.find("Send updated"), std::string::npos);
}

// Runs orvane-cli with standard error on a terminal of the given size; answers the result and
// everything written to the terminal.
std::pair<CliResult, std::string> runOnTerminal(const std::vector<std::string>& args, unsigned short columns,
                                                unsigned short rows) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    const winsize size{rows, columns, 0, 0};
    EXPECT_EQ(ioctl(master, TIOCSWINSZ, &size), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(terminal, 0);
    std::string err;
    CliResult result;
    {
        CliProcess upgrade(args, terminal);
        close(terminal);
        // Drain the terminal while the upgrade runs, until the process has let go of it.
        char buffer[1024];
        for (;;) {
            pollfd ready{master, POLLIN, 0};
            if (poll(&ready, 1, 20000) <= 0) {
                break;
            }
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break; // EIO: the last holder of the terminal has closed it
            }
            err.append(buffer, static_cast<std::size_t>(n));
        }
        result = upgrade.wait(20s);
    }
    close(master);
    return {result, err};
}

TEST(CliUpgrade, ProgressBarOnlyWhenStandardErrorIsATerminal) {
    const TempFolder dir;
    SimulateProcess camera(dir);
    ASSERT_TRUE(camera.ready());
    const std::string image = imageFile(dir, 4096);

    const auto [result, err] = runOnTerminal({"upgrade", image, "--port", camera.link()}, 80, 24);
    EXPECT_EQ(result.exitCode, 0) << result.out << err;
    EXPECT_EQ(result.out.find("progress:"), std::string::npos) << result.out;
    EXPECT_NE(err.find("\r[##############################] 100%  4/4 blocks"), std::string::npos) << err;
    EXPECT_NE(err.find("\r[-----"), std::string::npos) << err;
}

// The terminal gone without a hang-up, or the reader of the output gone: the writes fail (EIO,
// EPIPE, a closed descriptor) and the upgrade goes on to its end all the same.
TEST(CliUpgrade, GoesOnWhenItsTerminalIsGone) {
    const TempFolder dir;
    SimulateProcess camera(dir);
    ASSERT_TRUE(camera.ready());
    const std::string image = imageFile(dir, 8192);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    CliProcess upgrade({"upgrade", image, "--port", camera.link()}, terminal);
    close(terminal);
    pollfd drawn{master, POLLIN, 0};
    ASSERT_EQ(poll(&drawn, 1, 10000), 1); // the first bar is drawn, then the terminal goes
    close(master);
    EXPECT_EQ(upgrade.wait(30s).exitCode, 0);
    EXPECT_NE(camera.stop().out.find("verdict match: received 8192 of 8192 bytes"), std::string::npos);
}

TEST(CliUpgrade, GoesOnWhenItsOutputsReaderIsGone) {
    const TempFolder dir;
    SimulateProcess camera(dir);
    ASSERT_TRUE(camera.ready());
    const std::string image = imageFile(dir, 8192);
    std::ofstream(dir.file("run.sh"))
        << "exec 2>&-; '" << ORVANE_CLI_PATH << "' upgrade '" << image << "' --port '" << camera.link()
        << "' | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}\n";
    EXPECT_EQ(std::system(("bash " + dir.file("run.sh")).c_str()), 0);
    EXPECT_NE(camera.stop().out.find("verdict match: received 8192 of 8192 bytes"), std::string::npos);
}

// Bars as wide as the terminal or wider wrap, and every redraw then leaves a trail; more bars
// than rows cannot be redrawn in place. Long by-id names fit; too many bars give plain lines.
struct TerminalCase {
    const char* name;
    unsigned short columns;
    unsigned short rows;
    bool bars;
};

class CliTerminalBars : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(CliTerminalBars, FitTheTerminalOrGiveWayToPlainLines) {
    const TerminalCase& test = GetParam();
    const TempFolder dir;
    SimulateProcess cameras(dir, {"--count", "3"}, "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port");
    ASSERT_TRUE(cameras.ready()) << cameras.process().outSoFar();
    std::vector<std::string> args{"upgrade", imageFile(dir, 3000)};
    for (const char* n : {"1", "2", "3"}) {
        args.insert(args.end(), {"--port", cameras.link() + n});
    }
    const auto [result, err] = runOnTerminal(args, test.columns, test.rows);
    cameras.stop();
    ASSERT_EQ(result.exitCode, 0) << result.out << err;
    EXPECT_EQ(err.find("\033[") != std::string::npos, test.bars) << err;
    EXPECT_EQ(result.out.find("progress:100%") != std::string::npos, !test.bars) << result.out;
    // Every piece drawn between line starts stays inside one row.
    std::string piece;
    for (std::size_t at = 0; at <= err.size(); ++at) {
        if (at == err.size() || err[at] == '\r' || err[at] == '\n') {
            EXPECT_LT(displayColumns(piece), test.columns) << piece;
            piece.clear();
        } else if (err[at] == '\033') {
            at = err.find_first_of("ABCDJKm", at); // a cursor or erase control takes no column
        } else {
            piece += err[at];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CliUpgrade, CliTerminalBars,
                         ::testing::Values(TerminalCase{"LongNamesIn80Columns", 80, 24, true},
                                           TerminalCase{"LongNamesIn40Columns", 40, 24, true},
                                           TerminalCase{"MoreBarsThanRows", 120, 3, false}),
                         [](const auto& test) { return std::string(test.param.name); });

// The exit status comes from the job's outcome, not from its words: in Chinese too.
TEST(CliUpgrade, SilentCameraFailsAfterTheEnterTimeLimitWithReasonAndStep) {
    const TempFolder dir;
    SimulateProcess camera(dir, {"--silent-at", "enter"});
    ASSERT_TRUE(camera.ready());
    const std::string image = imageFile(dir, 1024);

    const CliResult result = runCli({"upgrade", image, "--port", camera.link(), "--lang", "zh", "--json"});
    const CliResult simulated = camera.stop();

    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    const std::vector<std::string> lines = linesOf(result.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(stableEvent(lines.back(), {"seconds", "bytesPerSecond"}),
              R"({"event":"result","port":")" + camera.link() +
                  R"(","ok":false,"exitCode":1,"text":"升级失败！",)"
                  R"("reason":"10 秒内地址 1（9600 bit/s）没有应答进入升级的指令：请检查地址、波特率和连线",)"
                  R"("step":"enter","resends":0})");
    EXPECT_GE(result.took, 9500ms);
    EXPECT_NE(simulated.out.find("rx A5 F9 00 5C AF"), std::string::npos) << simulated.out;
}

TEST(CliUpgrade, CtrlCSendsTheAbortFrameAndExits130) {
    const TempFolder dir;
    SimulateProcess camera(dir, {"--flash-ms", "150"});
    ASSERT_TRUE(camera.ready());
    const std::string image = imageFile(dir, 40 * 1024);

    CliProcess upgrade({"upgrade", image, "--port", camera.link()});
    ASSERT_TRUE(upgrade.waitForLine("progress:5%", 15s)) << upgrade.outSoFar();
    upgrade.interrupt();
    const CliResult result = upgrade.wait(5s);
    ASSERT_TRUE(camera.process().waitForLine("rx A5 F9 00 5C AF", 3s)) << camera.process().outSoFar();
    const CliResult simulated = camera.stop();

    EXPECT_EQ(result.exitCode, 130) << result.out << result.err;
    EXPECT_EQ(linesOf(result.out).back(), "Update was failed !");
    EXPECT_NE(simulated.out.find("verdict mismatch"), std::string::npos);
}

// The image or the port cannot be used: status 3, a reason, and nothing on the line.
struct UnusableCase {
    const char* name;
    bool missingImage;
    bool missingPort;
    bool busyPort;
    const char* reason;
    std::size_t imageSize = 1024;
    const char* approved = nullptr; // an --approved list, when given
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const UnusableCase& c, std::ostream* os) {
    *os << c.name;
}

class CliUnusable : public ::testing::TestWithParam<UnusableCase> {};

TEST_P(CliUnusable, ExitsWithThreeAndAReason) {
    const UnusableCase& c = GetParam();
    const TempFolder dir;
    VirtualCamera camera;
    ASSERT_TRUE(camera.start()) << camera.error();
    const std::string image = c.missingImage ? dir.file("absent.bin") : imageFile(dir, c.imageSize);
    const std::string port = c.missingPort ? dir.file("ttyNothing") : camera.devicePath();
    SerialPort holder;
    if (c.busyPort) {
        ASSERT_EQ(holder.openPort(port, 9600, parityNone, 8, oneStopBit), 1);
    }

    std::vector<std::string> args{"upgrade", image, "--port", port};
    if (c.approved != nullptr) {
        std::ofstream(dir.file("ok.sha256")) << c.approved;
        args.insert(args.end(), {"--approved", dir.file("ok.sha256")});
    }
    const CliResult result = runCli(args);
    EXPECT_EQ(result.exitCode, 3) << result.out << result.err;
    EXPECT_NE((result.out + result.err).find(c.reason), std::string::npos) << result.out << result.err;
    EXPECT_EQ((result.out + result.err).find("Update was"), std::string::npos);
    if (c.missingImage || c.missingPort) {
        EXPECT_NE((result.out + result.err).find(c.missingImage ? image : port), std::string::npos);
    }
    holder.closePort();
    EXPECT_TRUE(camera.receivedFrames().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUnusable,
    ::testing::Values(UnusableCase{"MissingImage", true, false, false, "Cannot read image file"},
                      UnusableCase{"MissingPort", false, true, false, "Cannot open serial port"},
                      UnusableCase{"BusyPort", false, false, true, "is held by cli_test (pid "},
                      UnusableCase{"EmptyImage", false, false, false, "is empty (0 bytes)", 0},
                      UnusableCase{
                          "NotApproved", false, false, false, "is not in the approved list", 1024,
                          "0000000000000000000000000000000000000000000000000000000000000000  other.bin\n"}),
    [](const auto& test) { return std::string(test.param.name); });

// Several cameras at once: cam1 and cam2 of one simulator answer, the third camera (its own
// simulator, "odd") misbehaves as the case says.
struct StationCase {
    const char* name;
    std::vector<std::string> oddFaults;
    std::vector<std::string> upgradeOptions;
    int status;
    const char* oddReason; // in the summary's row of the odd camera
};

void PrintTo(const StationCase& c, std::ostream* os) {
    *os << c.name;
}

class CliStation : public ::testing::TestWithParam<StationCase> {};

TEST_P(CliStation, EveryCameraAtOnceEachWithItsOwnResult) {
    const StationCase& c = GetParam();
    const TempFolder dir;
    SimulateProcess pair(dir, {"--count", "2"});
    SimulateProcess odd(dir, c.oddFaults, "odd");
    ASSERT_TRUE(pair.ready() && odd.ready()) << pair.process().outSoFar() << odd.process().outSoFar();
    const std::string image = imageFile(dir, 3000);
    writeFile(dir.file("ports"),
              "# the station\n" + dir.file("cam1") + "\n" + dir.file("cam2") + "  # right\n");
    std::vector<std::string> args{"upgrade", image, "--ports-from", dir.file("ports"), "--port", odd.link()};
    args.insert(args.end(), c.upgradeOptions.begin(), c.upgradeOptions.end());

    const CliResult result = runCli(args);
    const CliResult pairSaw = pair.stop();
    const CliResult oddSaw = odd.stop();

    EXPECT_EQ(result.exitCode, c.status) << result.out << result.err;
    EXPECT_NE(pairSaw.out.find("[cam1] verdict match: received 3000 of 3000 bytes"), std::string::npos)
        << pairSaw.out;
    EXPECT_NE(pairSaw.out.find("[cam2] verdict match: received 3000 of 3000 bytes"), std::string::npos)
        << pairSaw.out;
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    std::map<std::string, QJsonObject> results;
    for (const std::string& line : linesOf(result.out)) {
        if (json) {
            const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            EXPECT_TRUE(event.contains("port") || event["event"] == "summary") << line;
            if (event["event"] == "result") {
                results[event["port"].toString().toStdString()] = event;
            }
        } else {
            EXPECT_TRUE(line.rfind("[", 0) == 0 || line.rfind(dir.path(), 0) == 0 ||
                        line.rfind("PORT", 0) == 0)
                << line;
        }
    }
    if (json) {
        ASSERT_EQ(results.size(), 3U) << result.out;
        EXPECT_TRUE(results[dir.file("cam1")]["ok"].toBool());
        EXPECT_EQ(results[odd.link()]["exitCode"].toInt(), c.status);
        EXPECT_NE(results[odd.link()]["reason"].toString().toStdString().find(c.oddReason),
                  std::string::npos);
        const QJsonObject summary =
            QJsonDocument::fromJson(QByteArray::fromStdString(linesOf(result.out).back())).object();
        EXPECT_EQ(summary["event"].toString(), "summary");
        EXPECT_EQ(summary["text"].toString(), "2 of 3 cameras upgraded");
        // Each entry says where its camera stopped, as its result event does.
        for (const QJsonValue entry : summary["cameras"].toArray()) {
            const QJsonObject& own = results[entry["port"].toString().toStdString()];
            for (const char* key : {"ok", "step", "block", "blocks", "resends"}) {
                EXPECT_EQ(entry[key], own[key]) << key;
            }
        }
        EXPECT_EQ(results[odd.link()]["step"].toString(), "block");
    } else {
        // The summary's row of the odd camera names it with its reason.
        bool named = false;
        for (const std::string& line : linesOf(result.out)) {
            named = named || (line.rfind(odd.link(), 0) == 0 && line.find(c.oddReason) != std::string::npos);
        }
        EXPECT_TRUE(named) << result.out;
    }
    if (c.status == 1) {
        EXPECT_NE(oddSaw.out.find("rx A5 F9 00 5C AF"), std::string::npos) << "AbortFrame\n" << oddSaw.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliStation,
    ::testing::Values(StationCase{"OneSilent", {"--silent-at", "block:2"}, {}, 1, "Block 2 of 3"},
                      StationCase{"OneRefusingForEverJson",
                                  {"--nak-block", "2:1000000"},
                                  {"--json", "--max-resends", "3"},
                                  1,
                                  "refused block 2 of 3 3 times"}),
    [](const auto& test) { return std::string(test.param.name); });

// The ports as given, "/dev/" and all: the same name in every event, none without one.
TEST(CliStation, JsonEventsNameEachPortAsGiven) {
    const TempFolder dir;
    SimulateProcess cameras(dir, {"--count", "2"});
    ASSERT_TRUE(cameras.ready()) << cameras.process().outSoFar();
    std::vector<std::string> devices;
    for (const std::string& line : linesOf(cameras.process().outSoFar())) {
        if (const std::size_t at = line.find("] device "); at != std::string::npos) {
            devices.push_back(line.substr(at + 9));
        }
    }
    ASSERT_EQ(devices.size(), 2U) << cameras.process().outSoFar();
    ASSERT_EQ(devices[0].rfind("/dev/", 0), 0U) << devices[0];
    const std::string image = imageFile(dir, 2048);

    const CliResult result = runCli({"upgrade", image, "--port", devices[0], "--port", devices[1], "--json"});
    cameras.stop();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    std::set<std::string> named;
    for (const std::string& line : linesOf(result.out)) {
        const auto event = nlohmann::json::parse(line);
        const auto& entries = event["event"] == "summary" ? event["cameras"] : nlohmann::json::array({event});
        for (const auto& entry : entries) {
            ASSERT_TRUE(entry.contains("port")) << line;
            named.insert(entry["port"].get<std::string>());
        }
    }
    EXPECT_EQ(named, (std::set<std::string>{devices[0], devices[1]}));
}

// Ctrl-C, and a hang-up (the SSH session lost) as SIGTERM: every camera is told, never left
// in its boot loader.
class CliStationSignal : public ::testing::TestWithParam<int> {};

TEST_P(CliStationSignal, SendsTheAbortFrameToEveryCameraAndExitsWith128PlusTheSignal) {
    const int signo = GetParam();
    const TempFolder dir;
    SimulateProcess cameras(dir, {"--count", "3", "--flash-ms", "150"});
    ASSERT_TRUE(cameras.ready()) << cameras.process().outSoFar();
    const std::string image = imageFile(dir, 40 * 1024);

    CliProcess upgrade({"upgrade", image, "--port", dir.file("cam1"), "--port", dir.file("cam2"), "--port",
                        dir.file("cam3")});
    for (const char* name : {"cam1", "cam2", "cam3"}) {
        ASSERT_TRUE(upgrade.waitForLine(std::string(name) + "] Send updated datas  progress:5%", 15s))
            << upgrade.outSoFar();
    }
    upgrade.interrupt(signo);
    const CliResult result = upgrade.wait(5s);
    for (const char* name : {"cam1", "cam2", "cam3"}) {
        EXPECT_TRUE(cameras.process().waitForLine(std::string("[") + name + "] rx A5 F9 00 5C AF", 3s))
            << name;
    }
    cameras.stop();
    EXPECT_EQ(result.exitCode, 128 + signo) << result.out << result.err;
    const std::string named = signo == SIGINT ? "SIGINT" : "SIGHUP";
    EXPECT_NE(result.err.find("Stopped by " + named + ": every camera"), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(CliStation, CliStationSignal, ::testing::Values(SIGINT, SIGHUP),
                         [](const auto& test) { return test.param == SIGINT ? "CtrlC" : "HangUp"; });

TEST(CliDemo, UpgradesTheVirtualCameraAndProvesTheMatch) {
    const CliResult result = runCli({"demo"}, 60s);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Update was successful !"), std::string::npos);
    EXPECT_NE(result.out.find("The camera holds exactly the image: 32768 bytes"), std::string::npos)
        << result.out;
    std::string sent;
    std::string held;
    for (const std::string& line : linesOf(result.out)) {
        if (line.rfind("SHA-256 sent:", 0) == 0) {
            sent = line.substr(line.rfind(' ') + 1);
        } else if (line.rfind("SHA-256 camera:", 0) == 0) {
            held = line.substr(line.rfind(' ') + 1);
        }
    }
    EXPECT_EQ(sent.size(), 64U);
    EXPECT_EQ(sent, held);
    // About ten seconds; the bound leaves room for a loaded machine.
    EXPECT_LT(result.took, 30s);
}

// On pseudo-terminals, and on the in-memory lines the demo has on Windows.
class CliDemoLines : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CliDemoLines, SeveralCamerasEachProvedBySha256) {
    std::vector<std::string> arguments{"demo", "--cameras", "3", "--size", "2048"};
    arguments.insert(arguments.end(), GetParam().begin(), GetParam().end());
    const CliResult result = runCli(arguments, 60s);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    std::size_t proved = 0;
    for (const std::string& line : linesOf(result.out)) {
        proved += line.find("] The camera holds exactly the image: 2048 bytes") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(proved, 3U) << result.out;
}

INSTANTIATE_TEST_SUITE_P(CliDemo, CliDemoLines,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--memory-line"}),
                         [](const auto& row) {
                             return row.param.empty() ? "PseudoTerminals" : "MemoryLines";
                         });

} // namespace
} // namespace orvane::test
