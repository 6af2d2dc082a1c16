// Two names of one COM port are one port on Windows, whatever their case or form, and shown as
// Windows names it; a Linux name never passes for a COM port.
#include "serial/port_key.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct KeyCase {
    const char* first;
    const char* second;
    bool same;
};

class PortKeyOf : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PortKeyOf, TellsOnePortFromTwo) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(portKeyOf(c.first).sameAs(portKeyOf(c.second)), c.same) << c.first << " and " << c.second;
}

INSTANTIATE_TEST_SUITE_P(Names, PortKeyOf,
                         ::testing::Values(KeyCase{"COM9", "\\\\.\\COM9", true},
                                           KeyCase{"COM9", "com9", true},
                                           KeyCase{" \\\\.\\com9 ", "COM9", true},
                                           KeyCase{"COM9", "COM19", false}, KeyCase{"ttyS8", "COM9", false},
                                           KeyCase{"/dev/ttyS8", "COM9", false}));

TEST(PortKeyOf, ShowsTheWindowsDevicePath) {
    EXPECT_EQ(portKeyOf("com9").path, "\\\\.\\COM9");
    EXPECT_EQ(portKeyOf("/dev/ttyS8").path, "/dev/ttyS8"); // no device name: its own key
}

} // namespace
} // namespace orvane
