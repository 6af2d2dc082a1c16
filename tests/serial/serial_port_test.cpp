// SerialPort over real pseudo-terminals: opening, exclusivity, line settings and the
// transparent data path.
#include "pty_pair.h"
#include "serial/device_identity.h"
#include "serial/line_speed.h"
#include "serial/serial_port.h"
#include "support/files.h"
#include "support/temp_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;

constexpr int byteSize8 = 8;

int openAt(SerialPort& port, const PtyPair& pty, int baudRate = 9600) {
    return port.openPort(pty.slavePath(), baudRate, parityNone, byteSize8, oneStopBit);
}

termios masterSettings(const PtyPair& pty) {
    termios settings{};
    EXPECT_EQ(::tcgetattr(pty.master(), &settings), 0);
    return settings;
}

TEST(SerialPort, ClosedPortTransfersNothingAndClosesFine) {
    SerialPort port;
    std::uint8_t buffer[128] = {};
    const std::uint8_t frame[] = {0xA5, 0x01};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.writePort(frame), 0);
    EXPECT_EQ(port.readPort(buffer), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);
    EXPECT_NE(port.closePort(), 0);
    EXPECT_NE(port.closePort(), 0);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.portHandle(), SerialPort::invalidHandle);
}

TEST(SerialPort, OpenCloseCloseAgain) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty), 1);
    EXPECT_TRUE(port.isOpen());
    EXPECT_GE(port.portHandle(), 0);
    EXPECT_EQ(port.lastError(), 0);
    EXPECT_NE(port.closePort(), 0);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.portHandle(), SerialPort::invalidHandle);
    EXPECT_NE(port.closePort(), 0);
    EXPECT_EQ(port.portHandle(), SerialPort::invalidHandle);
    // And it opens again, as the upgrade's close-then-reopen needs.
    EXPECT_EQ(openAt(port, pty, 115200), 1);
}

TEST(SerialPort, NamesWithoutDeviceDoNotOpen) {
    for (const char* name : {"/dev/orvane-no-such-port", "COM0"}) {
        SerialPort port;
        EXPECT_EQ(port.openPort(name, 9600, parityNone, byteSize8, oneStopBit), 0) << name;
        EXPECT_EQ(port.lastError(), ENOENT) << name;
        EXPECT_FALSE(port.isOpen());
        const std::uint8_t frame[] = {1, 2, 3};
        EXPECT_EQ(port.writePort(frame), 0);
    }
}

TEST(SerialPort, RefusesFilesThatAreNoTerminal) {
    const test::TempFolder folder;
    const auto path = folder.path() / "not-a-port";
    test::writeFile(path, "firmware");
    SerialPort port;
    EXPECT_EQ(port.openPort(path.string(), 9600, parityNone, byteSize8, oneStopBit), 0);
    EXPECT_EQ(port.lastError(), ENOTTY);
    const std::uint8_t frame[] = {0xFF, 0xFF};
    EXPECT_EQ(port.writePort(frame), 0);
    EXPECT_EQ(test::readFile(path), "firmware");
}

TEST(SerialPort, SecondOpenOfTheSameDeviceFails) {
    PtyPair pty;
    SerialPort first;
    ASSERT_EQ(openAt(first, pty), 1);

    SerialPort second;
    EXPECT_EQ(openAt(second, pty), 0);
    EXPECT_EQ(second.lastError(), EBUSY);
    EXPECT_FALSE(second.isOpen());

    // The same device under another name is the same device.
    const test::TempFolder folder;
    const auto link = folder.path() / "port-link";
    std::filesystem::create_symlink(pty.slavePath(), link);
    EXPECT_EQ(second.openPort(link.string(), 9600, parityNone, byteSize8, oneStopBit), 0);

    // Another process, whoever runs it (these tests often run as root).
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SerialPort other;
        ::_exit(openAt(other, pty));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_NE(first.closePort(), 0);
    EXPECT_EQ(openAt(second, pty), 1);
}

// /dev/tty is a node of its own for the controlling terminal: the device, and so the port,
// is the same (as the command line's check of its ports sees it too).
TEST(SerialPort, ControllingTerminalUnderDevTtyIsTheSameDevice) {
    PtyPair pty;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A new session's first terminal opened becomes its controlling terminal.
        if (::setsid() < 0 || ::open(pty.slavePath().c_str(), O_RDWR) < 0)
            ::_exit(10);
        if (deviceIdentityOf("/dev/tty") != deviceIdentityOf(pty.slavePath()) ||
            !deviceIdentityOf("/dev/tty") || deviceIdentityOf("/dev/tty") == deviceIdentityOf("/dev/null"))
            ::_exit(11);
        SerialPort port;
        SerialPort other;
        if (openAt(port, pty) != 1)
            ::_exit(12);
        if (other.openPort("/dev/tty", 9600, parityNone, byteSize8, oneStopBit) != 0 ||
            other.lastError() != EBUSY)
            ::_exit(13);
        (void)port.closePort();
        ::_exit(other.openPort("/dev/tty", 9600, parityNone, byteSize8, oneStopBit) == 1 ? 0 : 14);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SerialPort, OpeningAnotherPortReleasesTheFirst) {
    PtyPair a;
    PtyPair b;
    SerialPort port;
    ASSERT_EQ(openAt(port, a), 1);
    ASSERT_EQ(openAt(port, b), 1);
    SerialPort other;
    EXPECT_EQ(openAt(other, a), 1);
}

TEST(SerialPort, EveryByteValuePassesBothWays) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty, 115200), 1);
    const auto bytes = test::allByteValues();

    EXPECT_EQ(port.writePort(bytes), 256);
    EXPECT_EQ(pty.readMaster(257, 300ms), bytes);

    pty.writeMaster(bytes);
    std::vector<std::uint8_t> received(256);
    ASSERT_EQ(port.readPort(received), 256);
    EXPECT_EQ(received, bytes);
}

class SerialSpeed : public ::testing::TestWithParam<int> {};

TEST_P(SerialSpeed, TheFarEndSeesTheSpeed) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty, GetParam()), 1);
    EXPECT_EQ(lineSpeedOf(pty.master()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rates, SerialSpeed, ::testing::Values(9600, 115200, 250000));

TEST(SerialPort, StandardRatesUseTheirTermiosConstants) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty, 9600), 1);
    const termios slow = masterSettings(pty);
    EXPECT_EQ(::cfgetospeed(&slow), B9600);
    ASSERT_EQ(openAt(port, pty, 115200), 1);
    const termios fast = masterSettings(pty);
    EXPECT_EQ(::cfgetospeed(&fast), B115200);
}

class RefusedSpeed : public ::testing::TestWithParam<int> {};

// A speed text that is no number arrives as 0; the line must stay up at the speed it had.
TEST_P(RefusedSpeed, PortOpensAtTheSpeedItKeptAndTheLineStaysUp) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty, 19200), 1);
    ASSERT_NE(port.closePort(), 0);
    ASSERT_EQ(openAt(port, pty, GetParam()), 1);
    EXPECT_EQ(lineSpeedOf(pty.master()), 19200);
    const termios settings = masterSettings(pty);
    EXPECT_NE(::cfgetospeed(&settings), B0);
}

INSTANTIATE_TEST_SUITE_P(Rates, RefusedSpeed, ::testing::Values(0, -1, -115200));

// Data bits and parity cannot be seen on a pseudo-terminal (it forces CS8 and no parity), so
// they are checked on the settings themselves (raw_line_test.cpp); here: the raw line reaches
// the device.
TEST(SerialPort, LineIsRawOnTheDevice) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(port.openPort(pty.slavePath(), 9600, parityNone, byteSize8, 2), 1);
    const termios settings = masterSettings(pty);
    EXPECT_EQ(settings.c_cflag & (CREAD | CLOCAL | CSTOPB), static_cast<tcflag_t>(CREAD | CLOCAL | CSTOPB));
    EXPECT_EQ(settings.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
}

} // namespace
} // namespace orvane
