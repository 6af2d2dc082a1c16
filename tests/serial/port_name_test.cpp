// Port names as users type them, mapped to devices; unsafe or meaningless names map to none.
#include "serial/port_name.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct NameCase {
    std::string_view name;
    std::string_view path;
};

class DevicePathOf : public ::testing::TestWithParam<NameCase> {};

TEST_P(DevicePathOf, MapsNameToDevice) {
    EXPECT_EQ(devicePathOf(GetParam().name), GetParam().path) << "name: \"" << GetParam().name << '"';
}

using namespace std::string_view_literals;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, DevicePathOf, ::testing::Values(
    NameCase{"/dev/ttyUSB0", "/dev/ttyUSB0"},
    NameCase{"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
    NameCase{"ttyUSB0", "/dev/ttyUSB0"},
    NameCase{"pts/3", "/dev/pts/3"},
    NameCase{"comedi0", "/dev/comedi0"},
    NameCase{"  ttyACM0\t", "/dev/ttyACM0"},
    // The dialog's defaults and Windows habits.
    NameCase{"COM1", "/dev/ttyS0"},
    NameCase{"COM2", "/dev/ttyS1"},
    NameCase{"com3", "/dev/ttyS2"},
    NameCase{"Com10", "/dev/ttyS9"},
    NameCase{"COM256", "/dev/ttyS255"},
    NameCase{"\\\\.\\COM3", "/dev/ttyS2"},
    NameCase{" COM1 ", "/dev/ttyS0"},
    // No device: the mapping must never invent ttyS-1 or climb out of /dev.
    NameCase{"COM0", ""},
    NameCase{"COM", ""},
    NameCase{"com", ""},
    NameCase{"COM01", ""},
    NameCase{"COM3x", ""},
    NameCase{"COM257", ""},
    NameCase{"COM99999999999999999999", ""},
    NameCase{"", ""},
    NameCase{"   ", ""},
    NameCase{"\\\\.\\", ""},
    NameCase{"../etc/passwd", ""},
    NameCase{"pts/../../etc/passwd", ""},
    NameCase{"./ttyS0", ""},
    NameCase{"pts//3", ""},
    NameCase{"ttyS0/", ""},
    NameCase{"tty\nUSB0", ""},
    NameCase{"ttyUSB0\0/../x"sv, ""},
    NameCase{"/dev/ttyS0\0junk"sv, ""}));
// clang-format on

} // namespace
} // namespace orvane

namespace orvane {
namespace {

// The same names on Windows: every COM name goes to its \\.\ device, nothing may name a file.
class WindowsDevicePathOf : public ::testing::TestWithParam<NameCase> {};

TEST_P(WindowsDevicePathOf, MapsNameToDevice) {
    EXPECT_EQ(windowsDevicePathOf(GetParam().name), GetParam().path) << "name: \"" << GetParam().name << '"';
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, WindowsDevicePathOf, ::testing::Values(
    NameCase{"COM3", "\\\\.\\COM3"},
    NameCase{" COM12 ", "\\\\.\\COM12"},
    NameCase{"\\\\.\\COM3", "\\\\.\\COM3"},
    NameCase{"", ""},
    NameCase{"\\\\.\\", ""},
    NameCase{"C:\\fw.bin", ""},
    NameCase{"..\\COM3", ""},
    NameCase{"/dev/ttyS0", ""},
    NameCase{"COM\t3", ""}));
// clang-format on

} // namespace
} // namespace orvane
