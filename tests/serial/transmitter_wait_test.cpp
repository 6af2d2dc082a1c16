// The close's wait for the UART's last bytes: a transmitter that never reports empty costs
// the wire time of what a UART can hold, not a write's whole time limit.
#include "serial/port_timing.h"
#include "serial/transmitter_wait.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;

struct Transmitter {
    const char* name;
    int lineSpeed;
    int busyAnswers;                 // how often it says it still sends; -1: for ever
    std::optional<bool> thenAnswer;  // afterwards
    std::chrono::milliseconds least; // the wait takes at least, and at most 150 ms more (a
                                     // loaded machine); a write's limit would be seconds
};

void PrintTo(const Transmitter& t, std::ostream* os) {
    *os << t.name;
}

class TransmitterWait : public ::testing::TestWithParam<Transmitter> {};

TEST_P(TransmitterWait, EndsWhenEmptyOrWhenWhatItHoldsHasLeft) {
    const Transmitter t = GetParam();
    int asked = 0;
    const auto start = TransferClock::now();
    waitForTransmitter(
        [&]() -> std::optional<bool> {
            ++asked;
            return t.busyAnswers < 0 || asked <= t.busyAnswers ? std::optional<bool>(false) : t.thenAnswer;
        },
        t.lineSpeed);
    const auto took = TransferClock::now() - start;
    EXPECT_GE(took, t.least);
    EXPECT_LE(took, t.least + 150ms);
    if (t.busyAnswers >= 0) {
        EXPECT_EQ(asked, t.busyAnswers + 1);
    }
}

// 17 bytes take 1.5 ms at 115200 bit/s and 142 ms at 1200.
INSTANTIATE_TEST_SUITE_P(
    Transmitters, TransmitterWait,
    ::testing::Values(Transmitter{"NeverEmptyAtFullSpeed", 115200, -1, std::nullopt, 2ms},
                      Transmitter{"NeverEmptyAtASlowLine", 1200, -1, std::nullopt, 142ms},
                      Transmitter{"EmptyAtOnce", 1200, 0, true, 0ms},
                      Transmitter{"EmptyAfterTwoPolls", 1200, 2, true, 2ms},
                      Transmitter{"DriverCannotTell", 1200, 0, std::nullopt, 0ms}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace orvane
