// `simulate` for a production line: several cameras from one command, each answering on its
// own link and naming itself in the output; link paths it must not take; a camera answering on
// a terminal device that already exists.
#include "cli_process.h"
#include "upgrade/frames.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace orvane::test {
namespace {

// Writes the EnterUpgradeCommand to the terminal fd; answers what comes back.
std::vector<std::uint8_t> enterUpgradeOn(int fd) {
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B9600);
    ::tcsetattr(fd, TCSANOW, &t);
    const auto frame = makeEnterUpgradeCommand(1, UpgradeTarget::MainBoard);
    std::vector<std::uint8_t> got;
    if (::write(fd, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size())) {
        std::uint8_t buffer[16];
        pollfd p{fd, POLLIN, 0};
        while (got.size() < 5 && ::poll(&p, 1, 3000) == 1) {
            const auto n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.insert(got.end(), buffer, buffer + n);
        }
    }
    return got;
}

std::vector<std::uint8_t> enterUpgrade(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::vector<std::uint8_t> got = enterUpgradeOn(fd);
    ::close(fd);
    return got;
}

TEST(CliSimulate, CountThreeMakesThreeCamerasThatEachAnswer) {
    const TempFolder dir;
    CliProcess process({"simulate", "--count", "3", "--link", dir.file("cam")});
    ASSERT_TRUE(process.waitForLine("[cam3] ready:", 10s)) << process.outSoFar();
    for (const char* name : {"cam1", "cam2", "cam3"}) {
        EXPECT_EQ(enterUpgrade(dir.file(name)),
                  std::vector<std::uint8_t>(enterAckReply.begin(), enterAckReply.end()))
            << name;
        EXPECT_TRUE(process.waitForLine(std::string("[") + name + "] tx A5 F6 00 53 AF | EnterAck", 5s))
            << name;
    }
    process.interrupt();
    const CliResult result = process.wait(10s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const std::string& line : linesOf(result.out)) {
        EXPECT_EQ(line.rfind("[cam", 0), 0U) << line;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.file("cam2"))))
        << "links go at the end";
}

struct RefusedLink {
    const char* name;
    const char* link; // inside the test's folder
    const char* message;
};

TEST(CliSimulate, RefusesALinkPathItCannotOrMustNotUse) {
    const TempFolder dir;
    writeFile(dir.file("file"), "keep me");
    std::filesystem::create_symlink("/dev/null", dir.file("theirs"));
    const RefusedLink cases[] = {
        {"AFile", "file", "exists and is not a symbolic link"},
        {"SomeoneElsesLink", "theirs", "already exists (a link to /dev/null"},
        {"NoSuchFolder", "nowhere/cam", "cannot make the link "},
    };
    for (const RefusedLink& c : cases) {
        const std::string path = dir.file(c.link);
        const CliResult result = runCli({"simulate", "--link", path}, 10s);
        EXPECT_EQ(result.exitCode, 3) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        EXPECT_NE(result.err.find(std::string(c.message)), std::string::npos) << c.name << ": " << result.err;
        EXPECT_EQ(result.err.find("Success"), std::string::npos) << c.name << ": " << result.err;
    }
    EXPECT_EQ(readFile(dir.file("file")), "keep me");
    EXPECT_EQ(std::filesystem::read_symlink(dir.file("theirs")), "/dev/null");
    EXPECT_NE(
        runCli({"simulate", "--link", dir.file("nowhere/cam")}, 10s).err.find("No such file or directory"),
        std::string::npos);
}

// A USB gadget's ttyGS0 stands here as a pseudo-terminal's slave; the test is its far end.
TEST(CliSimulate, DeviceAnswersOnATerminalThatAlreadyExists) {
    const int farEnd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(farEnd, 0);
    ASSERT_EQ(::grantpt(farEnd), 0);
    ASSERT_EQ(::unlockpt(farEnd), 0);
    const std::string device = ::ptsname(farEnd);
    CliProcess process({"simulate", "--device", device});
    ASSERT_TRUE(process.waitForLine("ready:", 10s)) << process.outSoFar();
    EXPECT_TRUE(process.waitForLine("device " + device, 1s)) << process.outSoFar();
    EXPECT_EQ(enterUpgradeOn(farEnd), std::vector<std::uint8_t>(enterAckReply.begin(), enterAckReply.end()));
    process.interrupt();
    EXPECT_EQ(process.wait(10s).exitCode, 0);
    ::close(farEnd);
    EXPECT_EQ(runCli({"simulate", "--device", device, "--count", "2"}, 10s).exitCode, 2);
}

} // namespace
} // namespace orvane::test
