// Which watched ports --match keeps: the VID:PID, a glob on the name or on the USB serial.
#include "station/port_match.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct MatchCase {
    const char* pattern;
    bool matches;
};

TEST(PortMatch, VidPidOrGlobOnNameOrSerial) {
    const PortFacts ftdi{"/dev/serial/by-id/usb-FTDI_FT232R_A10KZ3-if00-port0",
                         "usb-FTDI_FT232R_A10KZ3-if00-port0", "0403", "6001", "A10KZ3"};
    const MatchCase cases[] = {
        {"0403:6001", true},  {"0403:6015", false},
        {"0403:60", false}, // not a VID:PID, nor the name
        {"usb-FTDI_*", true}, {"*-port?", true},
        {"*-port", false},    {"A10KZ?", true},
        {"A10*Z3", true},     {"B*", false},
        {"**", true},         {"usb-FTDI_FT232R_A10KZ3-if00-port0", true},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(portMatches({c.pattern}, ftdi), c.matches) << c.pattern;
    }
    // No pattern keeps every port; a port without USB facts is kept by its name alone.
    EXPECT_TRUE(portMatches({}, ftdi));
    EXPECT_FALSE(portMatches({"0403:6001"}, PortFacts{"/tmp/cam0", "cam0"}));
    EXPECT_TRUE(portMatches({"0403:6001", "cam*"}, PortFacts{"/tmp/cam0", "cam0"}));
}

} // namespace
} // namespace orvane
