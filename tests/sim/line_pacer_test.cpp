// Byte deadlines on a paced line: runs, queueing behind a busy line, speed changes, and no
// rounding that builds up over many small chunks.
#include "sim/line_pacer.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;

const SimTime t0 = SimTime{} + 1h;

TEST(LinePacer, EveryByteHasItsOwnDeadline) {
    LinePacer line;
    // 921600 bit/s: 10.850694... us a byte.
    EXPECT_EQ(line.pass(1030, t0, 921600), t0 + 11'176'216ns);
    EXPECT_EQ(line.throughAt(0), t0 + 10'851ns);
    EXPECT_EQ(line.throughAt(9), t0 + 108'507ns);
    // Written while the line is busy: queues behind the block.
    EXPECT_EQ(line.pass(5, t0 + 1ms, 921600), t0 + 11'230'469ns);
    // The line went quiet: a new run starts when the bytes come.
    EXPECT_EQ(line.pass(1, t0 + 1s, 115200), t0 + 1s + 86'806ns);
    EXPECT_EQ(line.throughAt(0), t0 + 1s) << "a byte of an earlier run was through before it";
}

TEST(LinePacer, OneByteChunksAddUpToTheWholeWireTime) {
    for (const int speed : {230400, 460800, 921600}) {
        LinePacer line;
        SimTime last{};
        for (int i = 0; i < 1035; ++i)
            last = line.pass(1, t0, speed);
        EXPECT_EQ(last, t0 + exactWireTime(1035, speed)) << speed;
    }
}

} // namespace
} // namespace orvane
