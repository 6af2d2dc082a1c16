// The doctor on fake system trees: each row lays out one machine (sysfs, /dev, /proc, the
// group database, udev rules) and names the findings it must give, in order.
#include "doctor/doctor.h"
#include "support/temp_folder.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A throw-away root; its adapter's node belongs to this process's group, named dialout.
class Tree {
  public:
    Tree() {
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "dev/serial/by-id");
        write(root / "etc/passwd", "root:x:0:0::/root:/bin/sh\ntech:x:1000:1000::/home/tech:/bin/sh\n");
        dialout("");
        session(group());
    }
    static std::string group() { return std::to_string(::getgid()); }
    void dialout(const std::string& members) {
        write(root / "etc/group", "dialout:x:" + group() + ":" + members + "\n");
    }
    void session(const std::string& groups) {
        write(root / "proc/self/status",
              "Name:\tcli\nUid:\t1000\t1000\t1000\t1000\nGid:\t1000\t1000\t1000\t1000\n"
              "Groups:\t1000 " +
                  groups + "\n");
    }
    // A USB adapter as usb-serial lays it out: ttyUSB0 below the interface, mode 0660.
    void adapter(const std::string& vid, const std::string& pid, const std::string& driver, int latency = 0) {
        const fs::path usb = root / "sys/devices/usb1/1-1";
        const fs::path port = usb / "1-1:1.0/ttyUSB0";
        write(usb / "idVendor", vid + "\n");
        write(usb / "idProduct", pid + "\n");
        write(usb / "1-1:1.0/bInterfaceNumber", "00\n");
        fs::create_directories(root / "sys/bus/usb-serial/drivers" / driver);
        fs::create_directory_symlink(root / "sys/bus/usb-serial/drivers" / driver, usb / "1-1:1.0/driver");
        fs::create_directories(port);
        if (latency != 0)
            write(port / "latency_timer", std::to_string(latency) + "\n");
        fs::create_directories(root / "sys/class/tty/ttyUSB0");
        fs::create_directory_symlink(port, root / "sys/class/tty/ttyUSB0/device");
        write(root / "sys/class/tty/ttyUSB0/dev", "188:0\n");
        write(root / "dev/ttyUSB0", "");
        fs::permissions(root / "dev/ttyUSB0", fs::perms(0660));
    }
    void process(int pid, const std::string& command, bool holdsPort = false) {
        const fs::path dir = root / "proc" / std::to_string(pid);
        write(dir / "comm", command + "\n");
        if (holdsPort) {
            fs::create_directories(dir / "fd");
            fs::create_symlink(fs::canonical(root / "dev/ttyUSB0"), dir / "fd/3");
        }
    }

    const test::TempFolder folder;
    const fs::path root = folder.path();
};

struct DoctorCase {
    const char* name;
    std::function<void(Tree&)> lay;
    std::vector<std::string> ports;
    int upgradeSpeed;
    std::vector<std::string> expected; // "severity code", in order
};

void PrintTo(const DoctorCase& c, std::ostream* os) {
    *os << c.name;
}

class DoctorTest : public ::testing::TestWithParam<DoctorCase> {};

TEST_P(DoctorTest, Finds) {
    const DoctorCase& c = GetParam();
    Tree tree;
    c.lay(tree);
    const Findings findings = examinePorts(c.ports, {.root = tree.root, .upgradeSpeed = c.upgradeSpeed});
    std::vector<std::string> got;
    for (const Finding& finding : findings) {
        got.push_back(std::string(severityName(finding.severity)) + " " + finding.code);
        EXPECT_FALSE(finding.text.empty()) << finding.code;
    }
    EXPECT_EQ(got, c.expected);
}

const auto ftdi = [](Tree& m) { m.adapter("0403", "6001", "ftdi_sio", 1); };
const auto ch340 = [](Tree& m) { m.adapter("1a86", "7523", "ch341"); };

INSTANTIATE_TEST_SUITE_P(
    Machines, DoctorTest,
    ::testing::Values(
        DoctorCase{"AllWell", ftdi, {}, 9600, {"info ok"}},
        DoctorCase{"NoSuchPort", ftdi, {"ttyUSB9"}, 9600, {"blocker no-device"}},
        DoctorCase{"NoPortAtAll", [](Tree&) {}, {}, 9600, {"blocker no-ports"}},
        DoctorCase{"NotInGroup", [](Tree& m) { ftdi(m), m.session(""); }, {}, 9600, {"blocker not-in-group"}},
        DoctorCase{"JoinedButNotLoggedInAgain",
                   [](Tree& m) { ftdi(m), m.session(""), m.dialout("root,tech"); },
                   {},
                   9600,
                   {"blocker log-in-again"}},
        DoctorCase{"OwnerOnly",
                   [](Tree& m) { ftdi(m), fs::permissions(m.root / "dev/ttyUSB0", fs::perms(0600)); },
                   {},
                   9600,
                   {"blocker owner-only"}},
        DoctorCase{"HeldByTerminal",
                   [](Tree& m) { ftdi(m), m.process(4242, "minicom", true); },
                   {},
                   9600,
                   {"blocker held"}},
        DoctorCase{"ModemManagerWouldProbe",
                   [](Tree& m) { ftdi(m), m.process(812, "ModemManager"); },
                   {},
                   9600,
                   {"warning modemmanager-probes"}},
        DoctorCase{"ModemManagerKeptOffByRule",
                   [](Tree& m) {
                       ftdi(m), m.process(812, "ModemManager");
                       write(m.root / "etc/udev/rules.d/99-cam.rules",
                             "ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
                             "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
                   },
                   {},
                   9600,
                   {"info ok"}},
        DoctorCase{"ModemManagerKeptOffByUdev",
                   [](Tree& m) {
                       ftdi(m), m.process(812, "ModemManager");
                       write(m.root / "run/udev/data/c188:0", "E:ID_MM_DEVICE_IGNORE=1\n");
                   },
                   {},
                   9600,
                   {"info ok"}},
        DoctorCase{"BrlttyRunningBesideCh340",
                   [](Tree& m) { ch340(m), m.process(900, "brltty"); },
                   {},
                   9600,
                   {"warning brltty", "blocker brltty-port"}},
        DoctorCase{"BrlttyRulesOnly",
                   [](Tree& m) {
                       ftdi(m);
                       write(m.root / "usr/lib/udev/rules.d/85-brltty.rules",
                             "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\"\n");
                   },
                   {},
                   9600,
                   {"warning brltty", "info ok"}},
        DoctorCase{"FtdiLatencyTimer",
                   [](Tree& m) { m.adapter("0403", "6001", "ftdi_sio", 16); },
                   {},
                   9600,
                   {"info latency-timer", "info ok"}},
        DoctorCase{"Ch340AtTheTopSpeed", ch340, {}, 115200, {"warning speed-limit"}},
        DoctorCase{"Ch340BelowIt", ch340, {}, 57600, {"info ok"}},
        DoctorCase{"NoStableNames",
                   [](Tree& m) { ftdi(m), fs::remove_all(m.root / "dev/serial"); },
                   {},
                   9600,
                   {"warning no-by-id"}}));

} // namespace
} // namespace orvane
