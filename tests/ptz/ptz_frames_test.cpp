// Every PTZ button puts exactly its Pelco-D frame through the writer; HOME puts nothing.
#include "ptz/ptz_frames.h"

#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ButtonCase {
    PtzButton button;
    const char* name;
    Bytes frame; // empty: the button sends nothing
};

void PrintTo(const ButtonCase& c, std::ostream* out) {
    *out << c.name;
}

class PtzButtonTest : public testing::TestWithParam<ButtonCase> {};

Bytes record(PtzButton button, int presses) {
    Bytes wire;
    for (int i = 0; i < presses; ++i) {
        pressPtzButton(button, [&](std::span<const std::uint8_t> bytes) {
            wire.insert(wire.end(), bytes.begin(), bytes.end());
        });
    }
    return wire;
}

TEST_P(PtzButtonTest, WritesExactlyItsFrame) {
    EXPECT_EQ(record(GetParam().button, 1), GetParam().frame);
}

TEST_P(PtzButtonTest, TwoPressesSendTheFrameTwice) {
    Bytes twice = GetParam().frame;
    twice.insert(twice.end(), GetParam().frame.begin(), GetParam().frame.end());
    EXPECT_EQ(record(GetParam().button, 2), twice);
}

TEST_P(PtzButtonTest, NameRoundTrips) {
    EXPECT_EQ(ptzButtonNamed(GetParam().name), GetParam().button);
    EXPECT_EQ(ptzButtonName(GetParam().button), GetParam().name);
}

// Independent formulation of the Pelco-D checksum: the sum of bytes 2 to 6 modulo 256.
TEST(PtzFrames, ChecksumIsSumOfAddressCommandsAndSpeeds) {
    for (auto button : {PtzButton::Left, PtzButton::Right, PtzButton::Up, PtzButton::Down, PtzButton::Stop,
                        PtzButton::Tele, PtzButton::Wide, PtzButton::Near, PtzButton::Far}) {
        const auto frame = ptzFrameOf(button);
        ASSERT_TRUE(frame.has_value()) << ptzButtonName(button);
        unsigned sum = 0;
        for (std::size_t i = 1; i <= 5; ++i) {
            sum += (*frame)[i];
        }
        EXPECT_EQ((*frame)[6], sum % 256) << ptzButtonName(button);
        EXPECT_EQ((*frame)[0], 0xFF);
        EXPECT_EQ((*frame)[1], 0x01);
    }
    EXPECT_FALSE(ptzFrameOf(PtzButton::Home).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    AllButtons, PtzButtonTest,
    testing::Values(ButtonCase{PtzButton::Left, "left", {0xFF, 0x01, 0x00, 0x04, 0x1E, 0x00, 0x23}},
                    ButtonCase{PtzButton::Up, "up", {0xFF, 0x01, 0x00, 0x08, 0x00, 0x1E, 0x27}},
                    ButtonCase{PtzButton::Down, "down", {0xFF, 0x01, 0x00, 0x10, 0x00, 0x1E, 0x2F}},
                    ButtonCase{PtzButton::Right, "right", {0xFF, 0x01, 0x00, 0x02, 0x1E, 0x00, 0x21}},
                    ButtonCase{PtzButton::Home, "home", {}},
                    ButtonCase{PtzButton::Stop, "stop", {0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01}},
                    ButtonCase{PtzButton::Tele, "tele", {0xFF, 0x01, 0x00, 0x20, 0x00, 0x00, 0x21}},
                    ButtonCase{PtzButton::Wide, "wide", {0xFF, 0x01, 0x00, 0x40, 0x00, 0x00, 0x41}},
                    ButtonCase{PtzButton::Near, "near", {0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x02}},
                    ButtonCase{PtzButton::Far, "far", {0xFF, 0x01, 0x00, 0x80, 0x00, 0x00, 0x81}}),
    [](const testing::TestParamInfo<ButtonCase>& param) { return std::string(param.param.name); });

TEST(PtzButtonNames, UnknownNamesAreRefused) {
    for (const char* name : {"", "LEFT", "zoom", "left "}) {
        EXPECT_FALSE(ptzButtonNamed(name).has_value()) << name;
    }
}

} // namespace
} // namespace orvane
