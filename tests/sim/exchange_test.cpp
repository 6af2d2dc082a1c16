// Whole upgrades against the virtual camera over its pseudo-terminal, for each target and
// speed combination, checking every reply and the image the camera ends up holding.
#include "plain_host.h"
#include "sim/virtual_camera.h"

#include <gtest/gtest.h>
#include <numeric>

namespace orvane::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> sampleImage(std::size_t length) {
    std::vector<std::uint8_t> image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF); // 0xA5, 0xA0 and 0xFF included
    }
    return image;
}

struct ExchangeCase {
    const char* name;
    UpgradeTarget target;
    int lineSpeed;
    int upgradeSpeed;
    std::size_t length;
};

std::string caseName(const ::testing::TestParamInfo<ExchangeCase>& param) {
    return param.param.name;
}

class Exchange : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(Exchange, CameraAnswersEveryStepAndHoldsTheImage) {
    const ExchangeCase c = GetParam();
    VirtualCameraOptions options;
    options.lineSpeed = c.lineSpeed;
    options.upgradeSpeed = c.upgradeSpeed;
    VirtualCamera camera(options);
    ASSERT_TRUE(camera.start()) << camera.error();
    const auto image = sampleImage(c.length);
    const auto length = static_cast<std::uint32_t>(image.size());

    PlainHost host;
    ASSERT_TRUE(host.open(camera.portPath(), c.lineSpeed));
    host.write(makeEnterUpgradeCommand(1, c.target));
    if (c.upgradeSpeed != c.lineSpeed) {
        ASSERT_TRUE(host.reopen(c.upgradeSpeed));
    }
    ASSERT_EQ(host.read(5), bytesOf(enterAckReply));
    EXPECT_EQ(camera.cameraSpeed(), c.upgradeSpeed);

    host.write(makeStartCommand(c.target));
    if (c.target == UpgradeTarget::Special) {
        ASSERT_TRUE(host.reopen(115200));
    }
    ASSERT_EQ(host.read(5), bytesOf(headerRequestReply));
    EXPECT_EQ(camera.cameraSpeed(), c.target == UpgradeTarget::Special ? 115200 : c.upgradeSpeed);

    host.write(makeSizeHeader(length));
    ASSERT_EQ(host.read(5), bytesOf(blockAckReply));
    std::uint32_t number = 1;
    for (std::uint32_t offset = 0; offset < length; offset += 1024, ++number) {
        host.write(makeDataBlock(image, offset, number));
        ASSERT_EQ(host.read(5), bytesOf(blockAckReply)) << "block " << number;
    }
    host.write(endFrame);
    ASSERT_EQ(host.read(5), bytesOf(blockAckReply));

    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->finished);
    EXPECT_TRUE(verdict->matches) << verdict->summary;
    EXPECT_EQ(verdict->target, c.target);
    EXPECT_EQ(verdict->announcedLength, length);
    EXPECT_EQ(verdict->announcedBlocks, blockCountOf(length));
    EXPECT_EQ(verdict->image, image);
    EXPECT_EQ(camera.cameraSpeed(), c.lineSpeed) << "the camera restarts its application at the line speed";

    const auto blocks = camera.receivedFrames(HostFrameKind::Block);
    EXPECT_EQ(blocks.size(), (length + 1023) / 1024);
    EXPECT_TRUE(camera.receivedFrames(HostFrameKind::Garbled).empty());
    EXPECT_TRUE(camera.receivedFrames(HostFrameKind::Unrecognised).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Targets, Exchange,
    ::testing::Values(ExchangeCase{"MainBoard3000", UpgradeTarget::MainBoard, 9600, 9600, 3000},
                      ExchangeCase{"MotorBoard2048At115200", UpgradeTarget::MotorBoard, 9600, 115200, 2048},
                      ExchangeCase{"Special5000", UpgradeTarget::Special, 9600, 9600, 5000},
                      ExchangeCase{"SpecialVia57600", UpgradeTarget::Special, 19200, 57600, 1024},
                      ExchangeCase{"EmptyImage", UpgradeTarget::MainBoard, 9600, 115200, 0},
                      ExchangeCase{"OneByte", UpgradeTarget::MotorBoard, 9600, 9600, 1},
                      ExchangeCase{"LargerImage", UpgradeTarget::MainBoard, 115200, 115200, 70 * 1024 + 5}),
    caseName);

} // namespace
} // namespace orvane::test
