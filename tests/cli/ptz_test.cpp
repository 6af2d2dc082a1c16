// `ptz ACTION` puts exactly that button's Pelco-D frame on the line, once; HOME puts nothing.
// The line is a virtual camera's, which records every byte it receives.
#include "cli_process.h"
#include "sim/virtual_camera.h"

#include <gtest/gtest.h>
#include <ostream>
#include <thread>

namespace orvane::test {
namespace {

struct PtzCase {
    const char* action;
    std::vector<std::uint8_t> frame; // empty: nothing is sent
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PtzCase& c, std::ostream* os) {
    *os << c.action;
}

class CliPtz : public ::testing::TestWithParam<PtzCase> {};

TEST_P(CliPtz, SendsExactlyTheButtonsFrame) {
    VirtualCamera camera;
    ASSERT_TRUE(camera.start()) << camera.error();
    const CliResult result = runCli({"ptz", GetParam().action, "--port", camera.devicePath()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");

    const auto deadline = std::chrono::steady_clock::now() + (GetParam().frame.empty() ? 300ms : 3s);
    while (camera.receivedFrames().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    const std::vector<HostFrame> frames = camera.receivedFrames();
    if (GetParam().frame.empty()) {
        EXPECT_TRUE(frames.empty());
        return;
    }
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].kind, HostFrameKind::Ptz);
    EXPECT_EQ(frames[0].bytes, GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(Buttons, CliPtz,
                         ::testing::Values(PtzCase{"left", {0xFF, 0x01, 0x00, 0x04, 0x1E, 0x00, 0x23}},
                                           PtzCase{"right", {0xFF, 0x01, 0x00, 0x02, 0x1E, 0x00, 0x21}},
                                           PtzCase{"up", {0xFF, 0x01, 0x00, 0x08, 0x00, 0x1E, 0x27}},
                                           PtzCase{"down", {0xFF, 0x01, 0x00, 0x10, 0x00, 0x1E, 0x2F}},
                                           PtzCase{"stop", {0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}},
                                           PtzCase{"tele", {0xFF, 0x01, 0x00, 0x20, 0x00, 0x00, 0x21}},
                                           PtzCase{"wide", {0xFF, 0x01, 0x00, 0x40, 0x00, 0x00, 0x41}},
                                           PtzCase{"near", {0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02}},
                                           PtzCase{"far", {0xFF, 0x01, 0x00, 0x80, 0x00, 0x00, 0x81}},
                                           PtzCase{"home", {}}),
                         [](const auto& test) { return std::string(test.param.action); });

TEST(CliPtzPort, UnusablePortExitsWithThree) {
    const TempFolder dir;
    const CliResult result = runCli({"ptz", "stop", "--port", dir.file("ttyNothing")});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find(dir.file("ttyNothing")), std::string::npos) << result.err;
}

} // namespace
} // namespace orvane::test
