// The receiving loop on a scripted port and the fake clock: when it reads, when it only
// waits, and that a frame started before the port closed is finished after it reopens.
#include "support/fake_clock.h"
#include "upgrade/reply_receiver.h"

#include <deque>
#include <gtest/gtest.h>

namespace orvane::testing {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;

// A port whose state and reads follow a script of passes, one entry per receiver pass.
class ScriptedPort final : public SerialLink {
  public:
    struct Pass {
        bool open;
        Bytes read; // delivered when the pass reads
    };
    std::deque<Pass> passes;
    int reads = 0;
    bool buffersWereZeroed = true;
    std::size_t capacity = 0;
    bool advanceOnRead = false; // each read takes its pass (reads that are not followed by a pause)

    void next() {
        if (!passes.empty()) {
            passes.pop_front();
        }
    }
    int openPort(std::string_view, int, int, int, int) override { return 1; }
    int closePort() override { return 1; }
    int writePort(std::span<const std::uint8_t>) override { return 0; }
    int readPort(std::span<std::uint8_t> buffer) override {
        ++reads;
        capacity = buffer.size();
        for (std::uint8_t b : buffer) {
            buffersWereZeroed = buffersWereZeroed && b == 0;
        }
        const Bytes bytes = passes.front().read;
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        if (advanceOnRead) {
            next();
        }
        return static_cast<int>(bytes.size());
    }
    bool isOpen() const override { return !passes.empty() && passes.front().open; }
    int lastError() const override { return 0; }
};

TEST(ReplyReceiverLoop, WaitsASecondWhileClosedAndKeepsAStartedFrameAcrossAReopen) {
    ScriptedPort port;
    port.passes = {{false, {}},
                   {false, {}},
                   {true, {0xA5, 0xF6, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77}}, // fills the buffer's ends
                   {true, {0xA5, 0xF6}},
                   {false, {}},
                   {true, {}},
                   {true, {0x00, 0x53, 0xAF}},
                   {false, {}}};
    ReplyFlags flags;
    FakeClock clock;
    std::stop_source stop;
    clock.onSleep([&](milliseconds) {
        port.next();
        if (port.passes.empty()) {
            stop.request_stop();
        }
    });
    runReplyReceiver(port, flags, clock, stop.get_token());

    EXPECT_EQ(port.reads, 4);
    EXPECT_EQ(port.capacity, 128U);
    EXPECT_TRUE(port.buffersWereZeroed);
    EXPECT_EQ(load(flags.enterAcknowledged), 1);
    const auto s = milliseconds(1000);
    const auto p = milliseconds(10);
    EXPECT_EQ(clock.pauses(), (std::vector<milliseconds>{s, s, p, p, s, p, p, s}));
}

// Reads that end with the first bytes: the next read follows at once after one that brought
// bytes, the 10 ms pause comes only after an empty read, and each reply rings the signal.
TEST(ReplyReceiverLoop, LowLatencyReadsAgainAtOnceAndRingsForEachReply) {
    ScriptedPort port;
    port.setReadMode(ReadMode::LowLatency);
    port.advanceOnRead = true;
    port.passes = {
        {true, {0xA5, 0xF6}}, {true, {0x00, 0x53, 0xAF}}, {true, {0xA5, 0xFB, 0x01, 0x5F, 0xAF}}, {true, {}}};
    ReplyFlags flags;
    FakeClock clock;
    std::stop_source stop;
    clock.onSleep([&](milliseconds) { stop.request_stop(); });
    runReplyReceiver(port, flags, clock, stop.get_token());

    EXPECT_EQ(port.reads, 4);
    EXPECT_EQ(load(flags.enterAcknowledged), 1);
    EXPECT_EQ(load(flags.blockReply), blockAccepted);
    EXPECT_EQ(flags.raised.rings(), 2U);
    EXPECT_EQ(clock.pauses(), (std::vector<milliseconds>{milliseconds(10)}));
}

// The job opens the port 300 ms into the receiver's closed-port pause and rings: reading as
// bytes come, the receiver reads at once; in the standard mode it keeps its second.
TEST(ReplyReceiverLoop, AnOpenEndsTheClosedPortPauseOnlyInLowLatencyMode) {
    for (const auto& [mode, closedFor] : {std::pair{ReadMode::Standard, milliseconds(1000)},
                                          std::pair{ReadMode::LowLatency, milliseconds(300)}}) {
        ScriptedPort port;
        port.setReadMode(mode);
        port.passes = {{false, {}}};
        ReplyFlags flags;
        FakeClock clock;
        std::stop_source stop;
        clock.after(milliseconds(300), [&] {
            port.passes.front().open = true;
            flags.portOpened.ring();
        });
        clock.onSleep([&](milliseconds) {
            if (port.reads > 0) {
                stop.request_stop();
            }
        });
        runReplyReceiver(port, flags, clock, stop.get_token());
        EXPECT_EQ(clock.pauses(), (std::vector<milliseconds>{closedFor, milliseconds(10)}));
    }
}

} // namespace
} // namespace orvane::testing
