// The order port lists show, from sysfs on Linux and from the registry on Windows.
#include "serial/natural_order.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orvane {
namespace {

TEST(NaturalOrder, NumbersCompareByValue) {
    const std::vector<std::vector<std::string>> sorted = {
        {"COM1", "COM9", "COM10", "COM11", "COM256"},
        {"ttyACM0", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB1"},
        {"pts/2", "pts/10", "pts/10a", "pts/10b"},
        {"ttyS01", "ttyS1"}, // equal values: plain byte order
    };
    for (const auto& names : sorted) {
        std::vector<std::string> shuffled(names.rbegin(), names.rend());
        std::sort(shuffled.begin(), shuffled.end(),
                  [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
        EXPECT_EQ(shuffled, names);
    }
}

} // namespace
} // namespace orvane
