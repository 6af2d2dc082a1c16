// The port list on fake sysfs trees.
#include "serial/port_list.h"
#include "serial/port_name.h"
#include "support/temp_folder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <stdlib.h>

namespace orvane {
namespace {

namespace fs = std::filesystem;

// A throw-away /sys/class/tty.
class FakeTtyClass {
  public:
    FakeTtyClass() {
        fs::create_directories(root_ / "class");
        fs::create_directories(root_ / "devices");
    }
    fs::path ttyRoot() const { return root_ / "class"; }

    // A tty backed by a device, as sysfs shows it: "device" is a link to the device folder.
    void addPort(const std::string& name) {
        fs::create_directories(ttyRoot() / name);
        fs::create_directories(root_ / "devices" / name);
        fs::create_directory_symlink(root_ / "devices" / name, ttyRoot() / name / "device");
    }
    // An on-board UART slot; type 0 is the kernel's "no UART here".
    void addUart(const std::string& name, const char* type) {
        addPort(name);
        std::ofstream(ttyRoot() / name / "type") << type << '\n';
    }
    // Virtual consoles, ptmx, console: no device behind them.
    void addVirtual(const std::string& name) { fs::create_directories(ttyRoot() / name); }

  private:
    const test::TempFolder folder_;
    const fs::path root_ = folder_.path();
};

TEST(PortList, ListsRealPortsInNaturalOrder) {
    FakeTtyClass sysfs;
    for (const char* name : {"tty0", "tty1", "tty63", "ptmx", "console", "ttyprintk"})
        sysfs.addVirtual(name);
    sysfs.addUart("ttyS10", "4");
    sysfs.addUart("ttyS0", "4");
    sysfs.addUart("ttyS1", "0");
    sysfs.addUart("ttyS2", "1");
    sysfs.addUart("ttyS3", "");
    sysfs.addPort("ttyUSB1");
    sysfs.addPort("ttyUSB0");
    sysfs.addPort("ttyACM0");
    sysfs.addPort("ttyAMA0");

    std::vector<std::string> names{"COM1", "COM2"};
    EXPECT_EQ(gatherPortNames(names, sysfs.ttyRoot()), 7);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyAMA0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0",
                                               "ttyUSB1"}));
}

TEST(PortList, EmptySourceEmptiesTheList) {
    FakeTtyClass sysfs;
    sysfs.addVirtual("tty0");
    sysfs.addUart("ttyS0", "0");
    std::vector<std::string> names{"COM1", "COM2"};
    EXPECT_EQ(gatherPortNames(names, sysfs.ttyRoot()), 0);
    EXPECT_TRUE(names.empty());
}

TEST(PortList, UnreadableSourceLeavesTheListAlone) {
    FakeTtyClass sysfs;
    std::ofstream(sysfs.ttyRoot() / "not-a-folder") << "x";
    for (const fs::path& root : {sysfs.ttyRoot() / "missing", sysfs.ttyRoot() / "not-a-folder"}) {
        std::vector<std::string> names{"COM1", "COM2"};
        EXPECT_EQ(gatherPortNames(names, root), -1) << root;
        EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2"}));
    }
}

TEST(PortList, KeepsTheFirst256InOrder) {
    FakeTtyClass sysfs;
    for (int i = 299; i >= 0; --i)
        sysfs.addPort("ttyUSB" + std::to_string(i));
    std::vector<std::string> names;
    ASSERT_EQ(gatherPortNames(names, sysfs.ttyRoot()), 256);
    ASSERT_EQ(names.size(), 256u);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(names[i], "ttyUSB" + std::to_string(i));
}

TEST(PortList, EveryListedNameOpensItsOwnDevice) {
    FakeTtyClass sysfs;
    sysfs.addPort("ttyUSB0");
    sysfs.addPort("usb!ttyFoo3"); // sysfs writes a "/" of the device path as "!"
    sysfs.addUart("ttyS4", "4");
    std::vector<std::string> names;
    ASSERT_EQ(gatherPortNames(names, sysfs.ttyRoot()), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyS4", "ttyUSB0", "usb/ttyFoo3"}));
    for (const std::string& name : names)
        EXPECT_EQ(devicePathOf(name), "/dev/" + name);
}

} // namespace
} // namespace orvane
