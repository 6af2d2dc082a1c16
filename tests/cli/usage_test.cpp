// The command line's contract with scripts: a wrong command line is status 2 and changes
// nothing; --help and --version answer 0.
#include <gtest/gtest.h>

#include <ostream>

#include "cli_process.h"

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
        BadUsage{"NoSubcommand", {}},
        BadUsage{"UnknownSubcommand", {"flash"}},
        BadUsage{"UpgradeWithoutImage", {"upgrade", "--port", "ttyUSB0"}},
        BadUsage{"UpgradeWithoutPort", {"upgrade", "fw.bin"}},
        BadUsage{"SpeedNotInTheList", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--bps", "1234"}},
        BadUsage{"UpgradeSpeedNotInTheList", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--upbps", "300"}},
        BadUsage{"AddressTooLarge", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--address", "256"}},
        BadUsage{"AddressNotANumber", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--address", "one"}},
        BadUsage{"UnknownTarget", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--target", "zoom"}},
        BadUsage{"UnknownLanguage", {"upgrade", "fw.bin", "--port", "ttyUSB0", "--lang", "fr"}},
        BadUsage{"UnknownPtzAction", {"ptz", "spin", "--port", "ttyUSB0"}},
        BadUsage{"PtzWithoutPort", {"ptz", "left"}},
        BadUsage{"MergeWithOneFile", {"merge", "ubl.hex"}},
        BadUsage{"PackageTypeFour", {"package", "--type", "4", "fw.bin"}},
        BadUsage{"PackageWithoutType", {"package", "fw.bin"}},
        BadUsage{"DemoNegativeSize", {"demo", "--size", "-1"}},
        BadUsage{"SimulateUnknownStep", {"simulate", "--silent-at", "lunch"}},
        BadUsage{"SimulateBadNak", {"simulate", "--nak-block", "2:x"}},
        BadUsage{"UnknownOption", {"ports", "--all"}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(CliUsage, HelpAndVersionSucceed) {
    const CliResult help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"ports", "upgrade", "ptz", "merge", "package", "simulate", "demo"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    const CliResult upgradeHelp = runCli({"upgrade", "--help"});
    EXPECT_EQ(upgradeHelp.exitCode, 0);
    EXPECT_NE(upgradeHelp.out.find("--json"), std::string::npos);

    const CliResult version = runCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("orvane-cli ") + ORVANE_VERSION + "\n");
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
