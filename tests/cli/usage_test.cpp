// The command line's contract with scripts: a wrong command line is status 2 and changes
// nothing; --help and --version answer 0.
#include "cli_process.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <ostream>

namespace orvane::test {
namespace {

struct BadUsage {
    const char* name;
    std::vector<std::string> args;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BadUsage& c, std::ostream* os) {
    *os << c.name;
}

class CliBadUsage : public ::testing::TestWithParam<BadUsage> {};

TEST_P(CliBadUsage, ExitsWithTwoAndSaysWhy) {
    const CliResult result = runCli(GetParam().args);
    EXPECT_EQ(result.exitCode, 2) << result.out << result.err;
    EXPECT_FALSE(result.err.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliBadUsage,
    ::testing::Values(
        BadUsage{"NoSubcommand", {}}, BadUsage{"UnknownSubcommand", {"flash"}},
        BadUsage{"UnknownSubcommandWithHelp", {"flash", "--help"}},
        BadUsage{"UpgradeWithoutImage", {"upgrade", "--port", "ttyUSB0"}},
        BadUsage{"UpgradeWithoutPort", {"upgrade", "fw.bin"}},
        BadUsage{"SpeedNotInTheList", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--bps", "1234"}},
        BadUsage{"UpgradeSpeedNotInTheList", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--upbps", "300"}},
        BadUsage{"AddressTooLarge", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--address", "256"}},
        BadUsage{"AddressNotANumber", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--address", "one"}},
        BadUsage{"UnknownTarget", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--target", "zoom"}},
        BadUsage{"UnknownLanguage", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--lang", "fr"}},
        BadUsage{"UnknownPtzAction", {"ptz", "spin", "--port", "ttyUSB0"}},
        BadUsage{"PtzWithoutPort", {"ptz", "left"}}, BadUsage{"MergeWithOneFile", {"merge", "ubl.hex"}},
        BadUsage{"PackageTypeFour", {"package", "--type", "4", "fw.bin"}},
        BadUsage{"PackageWithoutType", {"package", "fw.bin"}},
        BadUsage{"DemoNegativeSize", {"demo", "--size", "-1"}},
        BadUsage{"SimulateUnknownStep", {"simulate", "--silent-at", "lunch"}},
        BadUsage{"SimulateBadNak", {"simulate", "--nak-block", "2:x"}},
        BadUsage{"UnknownOption", {"ports", "--all"}},
        BadUsage{"MaxResendsNotANumber", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--max-resends", "many"}},
        BadUsage{"DemoNoCameras", {"demo", "--cameras", "0"}},
        BadUsage{"RecordsSinceNotATime", {"records", "--since", "2026-12-09T25:00"}},
        BadUsage{"RecordsUntilNotADate", {"records", "--until", "last week"}},
        BadUsage{"RecordsUnknownEnding", {"records", "--ending", "exploded"}},
        BadUsage{"RecordsImageNotASha256", {"records", "--image", "fw.bin"}},
        BadUsage{"RecordsNoLimit", {"records", "--limit", "0"}},
        BadUsage{"RecordsCsvAndJson", {"records", "--csv", "--json"}},
        BadUsage{"UnitOfTwoCameras",
                 {"upgrade", "fw.bin", "--port", "ttyUSB0", "--port", "ttyUSB1", "--unit", "SN-1"}},
        BadUsage{"UnitWithAnEscape", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--unit", "SN\x1b[2J"}},
        BadUsage{"UnitTurnedRightToLeft",
                 {"upgrade", "fw.bin", "--port", "ttyUSB0", "--unit",
                  "SN\xe2\x80\xae"
                  "1"}},
        BadUsage{"UnitTooLong", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--unit", std::string(129, 'u')}},
        BadUsage{"RequireUnitWithoutScan", {"station", "fw.bin", "--require-unit"}},
        BadUsage{"ScanWindowOfNothing", {"station", "fw.bin", "--scan", "-", "--scan-window", "0"}},
        BadUsage{"StationPageElsewhereWithoutToken", {"station", "fw.bin", "--http", "0.0.0.0:8080"}},
        BadUsage{"StationControlWithoutToken", {"station", "fw.bin", "--http", "8080", "--control"}},
        BadUsage{"StationPageNotAPort", {"station", "fw.bin", "--http", "80x"}},
        BadUsage{"RecordsFromNowhere", {"records", "--records", "none"}},
        BadUsage{"DoctorSpeedNotInTheList", {"doctor", "--upbps", "300"}},
        BadUsage{"LineControlWithoutToken",
                 {"line", "--records", "postgresql://nobody@/line", "--http", "8090", "--control"}},
        BadUsage{
            "LineDayStartsNotATime",
            {"line", "--records", "postgresql://nobody@/line", "--http", "8090", "--day-starts", "25:00"}},
        BadUsage{"LineRecordsNotAServer", {"line", "--records", "line.sqlite", "--http", "8090"}}),
    [](const auto& test) { return std::string(test.param.name); });

// A port that is not there stops an upgrade: status 1, the finding as an event, then the result.
TEST(CliUsage, DoctorOnAMissingPortSaysSoAndFails) {
    const CliResult result = runCli({"doctor", "--json", "/nonexistent/ttyUSB9"});
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    std::vector<nlohmann::json> found;
    for (std::size_t at = 0, end; (end = result.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const auto event = nlohmann::json::parse(result.out.substr(at, end - at));
        if (event["event"] == "finding" && event.value("port", "") == "/nonexistent/ttyUSB9") {
            found.push_back(event);
        }
    }
    ASSERT_EQ(found.size(), 1U) << result.out;
    EXPECT_EQ(found[0]["severity"], "blocker");
    EXPECT_EQ(found[0]["code"], "no-device");
}

TEST(CliUsage, HelpAndVersionSucceed) {
    const CliResult help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command :
         {"ports", "upgrade", "ptz", "merge", "package", "simulate", "demo", "records", "doctor"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    const CliResult upgradeHelp = runCli({"upgrade", "--help"});
    EXPECT_EQ(upgradeHelp.exitCode, 0);
    EXPECT_NE(upgradeHelp.out.find("--json"), std::string::npos);

    const CliResult version = runCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("orvane-cli ") + ORVANE_VERSION + "\n");
}

// The rules every subcommand keeps, checked against the built binary: errors on standard
// error, not on standard output; 3 for an input file or port that cannot be used,
// 1 for one read and refused, 2 for the same port twice or bad usage; in JSON every line an
// object in UTF-8 (whatever bytes the names hold) and one result event with the core fields.
// "{dir}" in an argument is the case's scratch folder.
struct Rule {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* said; // on standard error (human) or in the result's text (JSON)
};

void PrintTo(const Rule& c, std::ostream* os) {
    *os << c.name;
}

class CliRules : public ::testing::TestWithParam<Rule> {};

TEST_P(CliRules, StatusStreamsAndResult) {
    const TempFolder dir;
    writeFile(dir.file("fw.bin"), std::string(100, '\x5A'));
    writeFile(dir.file("text.hex"), "hello\nworld\n");
    writeFile(dir.file("a"), ""); // a port that exists, and is no serial device
    writeFile(dir.file("ports.txt"),
              "# station 4\n  " + dir.file("a") + "  # left\n\n" + dir.file("b") + "\n");
    writeFile(dir.file("named.txt"), dir.file("a") + " left\n" + dir.file("b") + " left\n");
    std::filesystem::create_directory(dir.file("folder"));
    std::filesystem::create_symlink(dir.file("a"), dir.file("link-to-a"));
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args) {
        if (const std::size_t at = arg.find("{dir}"); at != std::string::npos) {
            arg.replace(at, 5, dir.path());
        }
    }
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();

    const CliResult result = runCli(args);
    EXPECT_EQ(result.exitCode, GetParam().status) << result.out << result.err;
    if (!json) {
        EXPECT_EQ(result.out.find(GetParam().said), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(GetParam().said), std::string::npos) << result.err;
        return;
    }
    std::vector<nlohmann::json> events;
    for (const std::string& line : linesOf(result.out)) {
        // Throws on a line that is not JSON or not UTF-8.
        events.push_back(nlohmann::json::parse(line));
        EXPECT_TRUE(events.back().is_object()) << line;
    }
    ASSERT_FALSE(events.empty()) << result.err;
    const auto results = std::count_if(
        events.begin(), events.end(), [](const nlohmann::json& event) { return event["event"] == "result"; });
    EXPECT_EQ(results, 1) << result.out;
    const nlohmann::json& last = events.back();
    EXPECT_EQ(last["event"], "result") << last;
    EXPECT_EQ(last["ok"], false);
    EXPECT_EQ(last["exitCode"], GetParam().status);
    EXPECT_NE(last["text"].get<std::string>().find(GetParam().said), std::string::npos) << last;
    EXPECT_FALSE(last["reason"].get<std::string>().empty()) << last;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliRules,
    ::testing::Values(
        Rule{"MergeMissingInput", {"merge", "{dir}/absent.hex", "{dir}/text.hex"}, 3, "absent.hex"},
        Rule{"MergeFolderInput", {"merge", "{dir}/text.hex", "{dir}/folder"}, 3, "Is a directory"},
        Rule{
            "MergeNotHex", {"merge", "{dir}/text.hex", "{dir}/text.hex"}, 1, "this is not an Intel HEX file"},
        Rule{"MergeJsonMissing", {"merge", "{dir}/absent.hex", "{dir}/text.hex", "--json"}, 3, "absent.hex"},
        Rule{"MergeJsonRefused",
             {"merge", "{dir}/text.hex", "{dir}/text.hex", "--json"},
             1,
             "not an Intel HEX"},
        Rule{"PackageMissingInput", {"package", "--type", "1", "{dir}/absent.bin"}, 3, "absent.bin"},
        Rule{"PackageFolderInput", {"package", "--type", "1", "{dir}/folder"}, 3, "Is a directory"},
        Rule{"PackageJsonMissing", {"package", "--type", "2", "{dir}/absent.bin", "--json"}, 3, "absent.bin"},
        Rule{"UpgradeMissingImage", {"upgrade", "{dir}/absent.bin", "--port", "{dir}/a"}, 3, "absent.bin"},
        Rule{"UpgradeJsonMissingPort",
             {"upgrade", "{dir}/fw.bin", "--port", "{dir}/a", "--json"},
             3,
             "Cannot open serial port"},
        Rule{"UpgradeMissingPortList",
             {"upgrade", "{dir}/fw.bin", "--ports-from", "{dir}/absent.txt"},
             3,
             "absent.txt"},
        Rule{"UpgradeSamePortTwice",
             {"upgrade", "{dir}/fw.bin", "--port", "{dir}/a", "--port", "{dir}/a"},
             2,
             "the same port"},
        Rule{"UpgradeSamePortThroughALink",
             {"upgrade", "{dir}/fw.bin", "--ports-from", "{dir}/ports.txt", "--port", "{dir}/link-to-a"},
             2,
             "the same port"},
        Rule{"StationSamePortThroughALink",
             {"station", "{dir}/fw.bin", "--ports-from", "{dir}/ports.txt", "--port", "{dir}/link-to-a"},
             2,
             "the same port"},
        Rule{"StationJsonSamePortTwice",
             {"station", "{dir}/fw.bin", "--port", "{dir}/a", "--port", "{dir}/a", "--json"},
             2,
             "the same port"},
        Rule{"StationSlotNamedTwice",
             {"station", "{dir}/fw.bin", "--ports-from", "{dir}/named.txt"},
             2,
             "Slot left is named twice"},
        Rule{"UpgradeNoPort", {"upgrade", "{dir}/fw.bin"}, 2, "--port"},
        Rule{"PtzMissingPort", {"ptz", "left", "--port", "{dir}/a"}, 3, "Cannot open serial port"},
        Rule{"UnknownCommand", {"flash", "--help"}, 2, "unknown command flash"},
        Rule{"UnknownOptionJson", {"ports", "--bogus", "--json"}, 2, "--bogus"},
        Rule{"UnknownCommandJson", {"flash", "--json"}, 2, "unknown command flash"},
        Rule{"UpgradeNoPortJson", {"upgrade", "{dir}/fw.bin", "--json"}, 2, "--port"},
        Rule{"PortsLongMissingPort", {"ports", "--long", "{dir}/absent"}, 3, "absent: no such device"},
        Rule{"PortsJsonNotUtf8", {"ports", "--json", "tty\xff"}, 3, "tty\xEF\xBF\xBD: no such device"},
        Rule{"MergeJsonLatin1Name",
             {"merge", "{dir}/caf\xe9.hex", "{dir}/text.hex", "--json"},
             3,
             "caf\xEF\xBF\xBD.hex"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(CliUsage, HelpSaysWhatTheInputsAre) {
    const CliResult package = runCli({"package", "--help"});
    EXPECT_EQ(package.exitCode, 0);
    for (const char* said : {"ABUF1", "ABUF2", "ABUF3", "Exit status"}) {
        EXPECT_NE(package.out.find(said), std::string::npos) << said << package.out;
    }
    const CliResult merge = runCli({"merge", "--help"});
    EXPECT_EQ(merge.exitCode, 0);
    for (const char* said : {"CR LF", ":02000004", ":04000005", "Exit status"}) {
        EXPECT_NE(merge.out.find(said), std::string::npos) << said << merge.out;
    }
}

TEST(CliPorts, ListsBareNamesAndSucceeds) {
    const CliResult result = runCli({"ports"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const std::string& line : linesOf(result.out)) {
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.find_first_of(" \t"), std::string::npos) << line;
    }
}

} // namespace
} // namespace orvane::test
