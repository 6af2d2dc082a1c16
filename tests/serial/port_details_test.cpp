// Port details on fake sysfs and /dev trees laid out as the kernel and udev lay them out, and
// the holder of a real pseudo-terminal.
#include "pty_pair.h"
#include "serial/port_details.h"
#include "support/temp_folder.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace orvane {
namespace {

namespace fs = std::filesystem;

enum class Bus { UsbSerial, UsbAcm, Platform, SerialBase };

struct DriverCase {
    const char* label;
    const char* tty;
    Bus bus;
    const char* boundDriver; // the interface's driver for USB, the platform device's otherwise
    const char* vid;         // nullptr: not USB
    const char* pid;
    const char* product;
    const char* serial; // nullptr: the adapter has none
    const char* expectedDriver;
    std::optional<int> latencyTimerMs;
};

void writeLine(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << '\n';
}

// A throw-away root holding class/ (the tty class), devices/, drivers/ and dev/.
class FakeSystem {
  public:
    FakeSystem() {
        for (const char* folder : {"class", "devices", "drivers", "dev/serial/by-id"})
            fs::create_directories(root_ / folder);
    }
    PortRoots roots() const { return {root_ / "class", root_ / "dev", {}}; }
    fs::path dev() const { return root_ / "dev"; }

    void add(const DriverCase& c) {
        const fs::path tty(c.tty);
        fs::path device;
        if (c.bus == Bus::Platform || c.bus == Bus::SerialBase) {
            device = root_ / "devices/platform" / c.boundDriver;
            fs::create_directories(device);
            bind(device, c.boundDriver);
            if (c.bus == Bus::SerialBase) {
                // Linux 6.5 on: controller and port devices between the UART and its tty.
                fs::create_directories(root_ / "bus/serial-base");
                for (const char* level : {"ctrl", "port"}) {
                    device /= level;
                    fs::create_directories(device);
                    bind(device, level);
                    fs::create_directory_symlink(root_ / "bus/serial-base", device / "subsystem");
                }
            }
        } else {
            const fs::path usb = root_ / "devices/pci0000:00/usb1" / ("1-" + tty.string());
            const fs::path interface = usb / ("1-" + tty.string() + ":1.0");
            fs::create_directories(interface);
            writeLine(usb / "idVendor", c.vid);
            writeLine(usb / "idProduct", c.pid);
            writeLine(usb / "manufacturer", "Maker");
            writeLine(usb / "product", c.product);
            if (c.serial != nullptr)
                writeLine(usb / "serial", c.serial);
            writeLine(interface / "bInterfaceNumber", "00");
            bind(interface, c.boundDriver);
            device = interface;
            if (c.bus == Bus::UsbSerial) {
                // usb-serial puts a port device below the interface, bound to its own driver
                // name (ch341's is "ch341-uart"); every such driver may carry latency_timer.
                device = interface / tty;
                fs::create_directories(device);
                bind(device, std::string(c.boundDriver) + "-port");
                writeLine(device / "latency_timer", "16");
            }
        }
        fs::create_directories(root_ / "class" / tty);
        fs::create_directory_symlink(device, root_ / "class" / tty / "device");
        writeLine(dev() / tty, "");
        fs::create_symlink(fs::path("../..") / tty,
                           dev() / "serial/by-id" / (std::string("usb-") + c.tty + "-if00"));
    }

  private:
    void bind(const fs::path& device, const std::string& driver) {
        fs::create_directories(root_ / "drivers" / driver);
        fs::create_directory_symlink(root_ / "drivers" / driver, device / "driver");
    }

    const test::TempFolder folder_;
    const fs::path root_ = folder_.path();
};

class PortDetailsByDriver : public ::testing::TestWithParam<DriverCase> {};

TEST_P(PortDetailsByDriver, ReadsWhatTheSystemKnows) {
    const DriverCase& c = GetParam();
    FakeSystem system;
    system.add(c);
    const PortDetails details = describePort(c.tty, system.roots());

    EXPECT_EQ(details.name, c.tty);
    EXPECT_EQ(details.path, (system.dev() / c.tty).string());
    EXPECT_EQ(details.byId,
              (system.dev() / "serial/by-id" / (std::string("usb-") + c.tty + "-if00")).string());
    EXPECT_EQ(details.driver, c.expectedDriver);
    EXPECT_EQ(details.latencyTimerMs, c.latencyTimerMs);
    EXPECT_EQ(details.access, "ok"); // the identity is root's
    EXPECT_FALSE(details.holder);
    const auto optionalOf = [](const char* text) {
        return text ? std::optional<std::string>(text) : std::nullopt;
    };
    EXPECT_EQ(details.vid, optionalOf(c.vid));
    EXPECT_EQ(details.pid, optionalOf(c.pid));
    EXPECT_EQ(details.product, optionalOf(c.product));
    EXPECT_EQ(details.serial, optionalOf(c.serial));
    EXPECT_EQ(details.manufacturer, c.vid ? std::optional<std::string>("Maker") : std::nullopt);
    EXPECT_EQ(portDescription(details), c.product ? c.product : c.expectedDriver);

    // The by-id link names the same port.
    const PortDetails viaLink = describePort(*details.byId, system.roots());
    EXPECT_EQ(viaLink.driver, details.driver);
    EXPECT_EQ(viaLink.product, details.product);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, PortDetailsByDriver,
    ::testing::Values(
        DriverCase{"ftdi", "ttyUSB0", Bus::UsbSerial, "ftdi_sio", "0403", "6001", "FT232R USB UART",
                   "A50285BI", "ftdi_sio", 16},
        DriverCase{
            "ch341", "ttyUSB1", Bus::UsbSerial, "ch341", "1a86", "7523", "USB Serial", nullptr, "ch341", {}},
        DriverCase{"cp210x",
                   "ttyUSB2",
                   Bus::UsbSerial,
                   "cp210x",
                   "10c4",
                   "ea60",
                   "CP2102 USB to UART Bridge Controller",
                   "0001",
                   "cp210x",
                   {}},
        DriverCase{"pl2303",
                   "ttyUSB3",
                   Bus::UsbSerial,
                   "pl2303",
                   "067b",
                   "2303",
                   "USB-Serial Controller",
                   nullptr,
                   "pl2303",
                   {}},
        DriverCase{"cdc_acm",
                   "ttyACM0",
                   Bus::UsbAcm,
                   "cdc_acm",
                   "2341",
                   "0043",
                   "Arduino Uno",
                   "7573530323",
                   "cdc_acm",
                   {}},
        DriverCase{
            "uart8250", "ttyS0", Bus::Platform, "serial8250", nullptr, nullptr, nullptr, nullptr, "8250", {}},
        DriverCase{"uartPnpSerialBase",
                   "ttyS1",
                   Bus::SerialBase,
                   "serial",
                   nullptr,
                   nullptr,
                   nullptr,
                   nullptr,
                   "8250",
                   {}}),
    [](const ::testing::TestParamInfo<DriverCase>& row) { return std::string(row.param.label); });

// Access is judged from the node's owner, group and mode against a made-up user, so it can be
// checked whoever runs the tests (root included).
TEST(PortDetails, AccessFollowsOwnerGroupAndMode) {
    FakeSystem system;
    const fs::path node = system.dev() / "ttyUSB0";
    writeLine(node, "");
    struct stat status {};
    ASSERT_EQ(::stat(node.c_str(), &status), 0);
    const std::uint32_t group = status.st_gid;
    const std::uint32_t stranger = status.st_uid + 1000;
    struct Case {
        mode_t mode;
        UserIdentity user;
        const char* expected;
    };
    const Case cases[] = {
        {0660, {stranger, group + 1, {}}, "needs-dialout"},
        {0660, {stranger, group + 1, {group}}, "ok"},
        {0600, {stranger, group + 1, {group}}, "permission denied"},
        {0600, {stranger, group + 1, {}}, "permission denied"},
        {0640, {stranger, group + 1, {}}, "permission denied"}, // the group may only read
        {0666, {stranger, group + 1, {}}, "ok"},
        {0000, {0, 0, {}}, "ok"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(::chmod(node.c_str(), c.mode), 0);
        EXPECT_EQ(describePort("ttyUSB0", system.roots(), c.user).access, c.expected) << std::oct << c.mode;
    }
    EXPECT_EQ(describePort("ttyUSB9", system.roots()).access, "no such device");
}

TEST(PortDetails, ChildHoldingAPseudoTerminalIsItsHolder) {
    test::PtyPair pty;
    ASSERT_GE(pty.master(), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || ::dup2(fd, STDIN_FILENO) < 0)
            ::_exit(1);
        ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(1);
    }
    std::optional<PortHolder> holder;
    for (int tries = 0; tries < 200 && (!holder || holder->command != "sleep"); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        holder = describePort(pty.slavePath()).holder;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(holder);
    EXPECT_EQ(holder->pid, child);
    EXPECT_EQ(holder->command, "sleep");
    EXPECT_FALSE(describePort(pty.slavePath()).holder); // gone with it
}

// Real nodes are character devices, which std::filesystem::equivalent cannot compare in every
// standard library: the link to the port is found, the one to another device (sorting first)
// is not.
TEST(PortDetails, ByIdLinkToACharacterDeviceIsFound) {
    test::PtyPair pty;
    FakeSystem system;
    const fs::path link = system.dev() / "serial/by-id/usb-Maker_Port-if00";
    fs::create_symlink(pty.slavePath(), link);
    fs::create_symlink("/dev/null", system.dev() / "serial/by-id/usb-Aaa_Other-if00");
    EXPECT_EQ(describePort(pty.slavePath(), system.roots()).byId, link.string());
}

// A virtual camera keeps the slave open beside its master; the program that opened the port
// for use is the holder to name, the far end of the line comes after it.
TEST(PortDetails, MasterSideOfAPseudoTerminalComesAfterThePortsUser) {
    test::PtyPair pty;
    ASSERT_GE(pty.master(), 0);
    const auto holdSlave = [&](bool withMaster) {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
            if (fd < 0 || ::dup2(fd, STDIN_FILENO) < 0 ||
                (withMaster && ::dup2(pty.master(), STDOUT_FILENO) < 0))
                ::_exit(1);
            ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(1);
        }
        return child;
    };
    const pid_t camera = holdSlave(true);
    const pid_t user = holdSlave(false);
    ASSERT_GT(camera, 0);
    ASSERT_GT(user, 0);
    PortDetails details;
    const auto bothStarted = [&] {
        return details.holders.size() == 2 && details.holders[0].command == "sleep" &&
               details.holders[1].command == "sleep";
    };
    for (int tries = 0; tries < 200 && !bothStarted(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        details = describePort(pty.slavePath());
    }
    for (const pid_t child : {camera, user}) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    ASSERT_TRUE(bothStarted());
    EXPECT_EQ(details.holders[0].pid, user);
    EXPECT_EQ(details.holders[1].pid, camera);
    ASSERT_TRUE(details.holder);
    EXPECT_EQ(details.holder->pid, user);
}

TEST(PortDetails, BusyHintNamesTheHolderAndTheModemManagerRemedy) {
    EXPECT_EQ(busyPortHint({4242, "minicom"}),
              "the port is held by minicom (pid 4242): close it there first");
    const std::string modem = busyPortHint({812, "ModemManager"});
    EXPECT_NE(modem.find("held by ModemManager (pid 812)"), std::string::npos) << modem;
    EXPECT_NE(modem.find("systemctl stop ModemManager"), std::string::npos) << modem;
    EXPECT_NE(modem.find("ID_MM_DEVICE_IGNORE"), std::string::npos) << modem;
}

} // namespace
} // namespace orvane
