// The line-speed agreement on its own: the grace period after a switch and the benefit
// of doubt after the host reopened its port.
#include "sim/speed_model.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;

const SimTime t0 = SimTime{} + 1h;

TEST(SpeedModel, FrameWithinGraceOfTheLastAgreementIsReadable) {
    SpeedModel model(9600, 100ms);
    model.sampleHost(9600, t0);
    model.setCameraSpeed(115200, t0 + 10ms); // the camera switched, the host not yet
    model.sampleHost(9600, t0 + 20ms);
    EXPECT_TRUE(model.readable(t0 + 110ms)) << "within the grace after they last agreed";
    EXPECT_FALSE(model.readable(t0 + 111ms)) << "the host never switched";
    model.sampleHost(115200, t0 + 500ms);
    EXPECT_TRUE(model.readable(t0 + 500ms));
}

TEST(SpeedModel, HostThatReopenedJustNowGetsTheBenefitOfDoubt) {
    SpeedModel model(9600, 100ms);
    model.sampleHost(115200, t0); // left at 115200 by an earlier job
    EXPECT_FALSE(model.readable(t0 + 1s));
    // It switched to 9600, wrote and switched back between two samples; only the reopening is seen.
    model.noteHostActivity(t0 + 1s);
    EXPECT_TRUE(model.readable(t0 + 1s + 50ms));
    EXPECT_FALSE(model.readable(t0 + 1s + 150ms));
}

} // namespace
} // namespace orvane
