// What a port list file holds, as editors on either system save it.
#include "cli/port_list_file.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct ListCase {
    const char* name;
    std::string_view text;
    std::vector<std::string> ports;
};

class PortListText : public ::testing::TestWithParam<ListCase> {};

TEST_P(PortListText, GivesThePortsInOrder) {
    EXPECT_EQ(portsOfListText(GetParam().text), GetParam().ports);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PortListText,
    ::testing::Values(ListCase{"CommentsAndBlankLines",
                               "# bench 1\nttyUSB0\n\n  ttyUSB1  # left\n#ttyUSB2\n",
                               {"ttyUSB0", "ttyUSB1"}},
                      ListCase{"CrLfWithoutLastLineEnd",
                               "ttyUSB0\r\nCOM3\r\n/dev/ttyS0",
                               {"ttyUSB0", "COM3", "/dev/ttyS0"}},
                      ListCase{"ByteOrderMark", "\xEF\xBB\xBFttyUSB0\r\nttyUSB1\r\n", {"ttyUSB0", "ttyUSB1"}},
                      ListCase{"ByteOrderMarkBeforeAComment", "\xEF\xBB\xBF# line 3\nttyUSB4\n", {"ttyUSB4"}},
                      ListCase{"OnlyAByteOrderMark", "\xEF\xBB\xBF", {}}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
} // namespace orvane
