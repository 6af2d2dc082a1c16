// `orvane-cli station` as a line engineer sees it on a terminal: lines that stay are whole at
// any width and in either language, retries say so, and a nickname cannot drive the terminal.
#include "cli_process.h"
#include "imagetools/sha256.h"
#include "output/bar_layout.h"
#include "output/text_table.h"
#include "sim/virtual_camera.h"
#include "support/wait.h"
#include "text/string_table.h"
#include "text/text_ids.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace orvane::test {
namespace {

constexpr int speed = 115200;

// What a person reads, whatever the folds: no spaces, no line ends.
std::string squeezed(std::string text) {
    std::erase_if(text, [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
    return text;
}

// The pieces of what was written to the terminal between line starts, cursor and erase
// controls left out.
std::vector<std::string> rowsOf(const std::string& written) {
    std::vector<std::string> rows(1);
    for (std::size_t at = 0; at < written.size(); ++at) {
        if (written[at] == '\r' || written[at] == '\n') {
            rows.emplace_back();
        } else if (written[at] == '\033' && written.compare(at, 2, "\033[") == 0) {
            at = written.find_first_of("ABCDJKm", at);
        } else {
            rows.back() += written[at];
        }
    }
    return rows;
}

// Runs a station with standard output and error on a terminal of columns, until what it wrote
// holds stopAfter (spaces and folds aside), then Ctrl-C; answers its exit status and all it wrote.
std::pair<int, std::string> stationOnTerminal(const std::vector<std::string>& args, unsigned short columns,
                                              const std::string& stopAfter) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const winsize size{40, columns, 0, 0};
    EXPECT_EQ(ioctl(master, TIOCSWINSZ, &size), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    CliProcess station(args, terminal, terminal);
    close(terminal);
    std::string written;
    bool interrupted = false;
    for (char buffer[4096];;) {
        if (!interrupted && squeezed(written).find(squeezed(stopAfter)) != std::string::npos) {
            station.interrupt(SIGINT);
            interrupted = true;
        }
        pollfd ready{master, POLLIN, 0};
        const ssize_t n = poll(&ready, 1, 20000) == 1 ? read(master, buffer, sizeof buffer) : 0;
        if (n <= 0) {
            break; // EIO: the station has let go of the terminal
        }
        written.append(buffer, static_cast<std::size_t>(n));
    }
    close(master);
    return {station.wait(20s).exitCode, written};
}

struct Width {
    unsigned short columns;
    const char* language;
};

class StationOnTerminal : public ::testing::TestWithParam<Width> {};

// A camera that refuses every block, retried once, on a slot whose nickname holds ESC and BEL:
// its endings, the retry, the counters and the start stay whole, one row of the terminal at a
// time.
TEST_P(StationOnTerminal, LinesThatStayAreWhole) {
    const auto [columns, lang] = GetParam();
    const TextLanguage language = std::string(lang) == "zh" ? TextLanguage::Chinese : TextLanguage::English;
    const TempFolder dir;
    VirtualCameraOptions options;
    options.lineSpeed = speed;
    options.upgradeSpeed = speed;
    options.linkPath = dir.file("usb-Orvane_Bench_Adapter_0123456789ABCDEF-if00-port0");
    options.faults.nakEvery = 1;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    const std::string nickname = "bench-left-\x1b[31m-\a-fixture-0123456789ABCDEF-long-nickname";
    writeFile(dir.file("slots.txt"), options.linkPath + "  " + nickname + "\n");
    const std::string image(3000, '\x5a');
    writeFile(dir.file("fw.bin"), image);

    const auto text = [language](int id, std::initializer_list<std::string_view> args) {
        return fillText(textOf(id, language), args);
    };
    const std::string slot = shownCell(nickname);
    const std::string reason = text(IDS_REASON_TOO_MANY_RESENDS, {"1", "3", "2"});
    const std::string retry = text(IDS_STATION_RETRY, {"1", "1"});
    const std::string counted = text(IDS_STATION_COUNTERS, {"0", "1", "0.0 %", "0.0 %"});
    const std::string retried = slot + " (" + retry + "): failed (" + reason + ") | " + counted;
    const std::string digest =
        hexDigest(sha256Of(std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size())));
    const std::vector<std::string> lines{text(IDS_STATION_READY, {dir.file("fw.bin"), "3000", digest}),
                                         slot + ": failed (" + reason + ") | " +
                                             text(IDS_STATION_COUNTERS, {"0", "0", "0.0 %", "0.0 %"}),
                                         slot + ": " + retry, retried, text(IDS_STATION_STOPPED, {counted})};

    const auto [status, written] =
        stationOnTerminal({"station", dir.file("fw.bin"), "--ports-from", dir.file("slots.txt"), "--records",
                           "none", "--bps", std::to_string(speed), "--upbps", std::to_string(speed),
                           "--max-resends", "2", "--retries", "1", "--lang", lang},
                          columns, retried);
    EXPECT_EQ(status, 128 + SIGINT);
    for (const std::string& row : rowsOf(written)) {
        EXPECT_LT(displayColumns(row), columns) << row;
    }
    for (const std::string& line : lines) {
        EXPECT_NE(squeezed(written).find(squeezed(line)), std::string::npos) << line << "\nin:\n" << written;
    }
    EXPECT_EQ(written.find('\a'), std::string::npos) << "the nickname's bell";
    EXPECT_EQ(written.find("\x1b[31m"), std::string::npos) << "the nickname's colour";
}

INSTANTIATE_TEST_SUITE_P(CliStation, StationOnTerminal,
                         ::testing::Values(Width{60, "en"}, Width{80, "en"}, Width{120, "en"},
                                           Width{60, "zh"}, Width{80, "zh"}, Width{120, "zh"}),
                         [](const auto& row) {
                             return std::string(row.param.language) + std::to_string(row.param.columns);
                         });

// No watched folder yet: where it comes from and the other way, in words and in JSON.
class StationWithoutFolder : public ::testing::TestWithParam<bool> {};

TEST_P(StationWithoutFolder, SaysWhereItComesFrom) {
    const bool json = GetParam();
    const TempFolder dir;
    writeFile(dir.file("fw.bin"), std::string(3000, '\x5a'));
    std::vector<std::string> args{"station",         dir.file("fw.bin"), "--watch",
                                  dir.file("by-id"), "--records",        "none"};
    args.insert(args.end(), {"--lang", json ? "zh" : "en"});
    if (json) {
        args.push_back("--json");
    }
    CliProcess station(args);
    ASSERT_TRUE(station.waitForLine(json ? "\"station\"" : "Station ready", 10s));
    const std::string said =
        fillText(textOf(IDS_STATION_NO_FOLDER, json ? TextLanguage::Chinese : TextLanguage::English),
                 {dir.file("by-id")});
    const auto advice = json ? station.waitForLine("\"advice\"", 5s) : std::nullopt;
    const bool noted =
        waitUntil([&] { return station.errSoFar().find(said + "\n") != std::string::npos; }, 5s);
    station.interrupt(SIGINT);
    station.wait(10s);
    if (json) {
        ASSERT_TRUE(advice);
        EXPECT_EQ(nlohmann::json::parse(*advice)["text"], said);
    } else {
        EXPECT_TRUE(noted) << station.errSoFar();
    }
    EXPECT_NE(said.find("--ports-from"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(CliStation, StationWithoutFolder, ::testing::Bool());

} // namespace
} // namespace orvane::test
