// The read and write time limits of SerialPort, measured over real pseudo-terminals. The
// bounds allow for a loaded two-core machine: late is tolerated generously, early is not.
#include "pty_pair.h"
#include "serial/serial_port.h"

#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPair;

constexpr auto lateAllowance = 150ms;
constexpr auto earlyAllowance = 10ms;

std::chrono::milliseconds elapsedSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class SerialTiming : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(port.openPort(pty.slavePath(), 115200, parityNone, 8, oneStopBit), 1); }
    PtyPair pty;
    SerialPort port;
};

TEST_F(SerialTiming, SilentReadEndsAfterItsTotalLimit) {
    std::vector<std::uint8_t> buffer(128);
    const auto start = Clock::now();
    EXPECT_EQ(port.readPort(buffer), 0);
    const auto took = elapsedSince(start);
    EXPECT_GE(took, 628ms - earlyAllowance);
    EXPECT_LE(took, 628ms + lateAllowance);
}

TEST_F(SerialTiming, ReadEndsAtOnceWhenFull) {
    pty.writeMaster({1, 2, 3, 4, 5, 6, 7, 8});
    std::vector<std::uint8_t> buffer(8);
    const auto start = Clock::now();
    EXPECT_EQ(port.readPort(buffer), 8);
    EXPECT_LT(elapsedSince(start), 50ms);
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

struct Trickle {
    std::chrono::milliseconds gap; // between bytes sent by the far end
    int expected;                  // bytes the one read returns
};

class ReadInterval : public SerialTiming, public ::testing::WithParamInterface<Trickle> {};

// A reply arriving in one burst, or with short gaps, comes back from one read about 100 ms
// after its last byte; a gap over 100 ms ends the read early.
TEST_P(ReadInterval, ReadEndsOneHundredMillisecondsAfterTheLastByte) {
    const Trickle trickle = GetParam();
    std::promise<Clock::time_point> lastSent;
    auto lastSentAt = lastSent.get_future();
    std::thread camera([&] {
        std::this_thread::sleep_for(20ms); // let the read begin
        for (std::uint8_t b = 1; b <= 5; ++b) {
            if (b > 1)
                std::this_thread::sleep_for(trickle.gap);
            pty.writeMaster({b});
            if (b == trickle.expected)
                lastSent.set_value(Clock::now());
        }
    });
    std::vector<std::uint8_t> buffer(128);
    const int count = port.readPort(buffer);
    const auto returnedAt = Clock::now();
    camera.join();
    EXPECT_EQ(count, trickle.expected);
    const auto afterLast =
        std::chrono::duration_cast<std::chrono::milliseconds>(returnedAt - lastSentAt.get());
    EXPECT_GE(afterLast, 100ms - earlyAllowance);
    EXPECT_LE(afterLast, 100ms + lateAllowance);
}

INSTANTIATE_TEST_SUITE_P(Gaps, ReadInterval,
                         ::testing::Values(Trickle{0ms, 5}, Trickle{40ms, 5}, Trickle{200ms, 1}));

TEST_F(SerialTiming, SteadyTrickleDoesNotStretchTheTotalLimit) {
    std::atomic<bool> reading{true};
    std::thread camera([&] {
        while (reading.load()) {
            pty.writeMaster({0x55});
            std::this_thread::sleep_for(50ms);
        }
    });
    std::vector<std::uint8_t> buffer(128);
    const auto start = Clock::now();
    const int count = port.readPort(buffer);
    const auto took = elapsedSince(start);
    reading.store(false);
    camera.join();
    EXPECT_GE(count, 5);
    EXPECT_LT(count, 128);
    EXPECT_GE(took, 628ms - earlyAllowance);
    EXPECT_LE(took, 628ms + lateAllowance);
}

TEST_F(SerialTiming, DataBlockWriteCompletesWithinItsLimit) {
    std::vector<std::uint8_t> block(1030, 0x5A);
    const auto start = Clock::now();
    EXPECT_EQ(port.writePort(block), 1030);
    EXPECT_LT(elapsedSince(start), 2160ms);
    EXPECT_EQ(pty.readMaster(1030, 500ms), block);
}

// Output held back (as by flow control): the write gives up after 100 ms + 2 ms per byte.
TEST(SerialWriteTiming, BlockedWriteEndsAfterItsTotalLimit) {
    PtyPair pty;
    // A second descriptor of the line, opened before the port takes it exclusively.
    const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    SerialPort port;
    ASSERT_EQ(port.openPort(pty.slavePath(), 115200, parityNone, 8, oneStopBit), 1);
    ASSERT_EQ(::tcflow(holder, TCOOFF), 0);
    const std::vector<std::uint8_t> frame(100, 0x11);
    const auto start = Clock::now();
    const int written = port.writePort(frame);
    const auto took = elapsedSince(start);
    ::tcflow(holder, TCOON);
    ::close(holder);
    EXPECT_EQ(written, 0);
    EXPECT_GE(took, 300ms - earlyAllowance);
    EXPECT_LE(took, 300ms + lateAllowance);
}

// At a slow line the limit grows with the wire time, or a block could never be sent whole:
// 100 bytes at 1200 bit/s take 834 ms on the wire, plus 300 ms of margin.
TEST(SerialWriteTiming, BlockedWriteLimitFollowsTheLineSpeed) {
    PtyPair pty;
    const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    SerialPort port;
    ASSERT_EQ(port.openPort(pty.slavePath(), 1200, parityNone, 8, oneStopBit), 1);
    ASSERT_EQ(::tcflow(holder, TCOOFF), 0);
    const std::vector<std::uint8_t> frame(100, 0x11);
    const auto start = Clock::now();
    EXPECT_EQ(port.writePort(frame), 0);
    const auto took = elapsedSince(start);
    ::tcflow(holder, TCOON);
    ::close(holder);
    EXPECT_GE(took, 1134ms - earlyAllowance);
    EXPECT_LE(took, 1134ms + lateAllowance);
}

} // namespace
} // namespace orvane
