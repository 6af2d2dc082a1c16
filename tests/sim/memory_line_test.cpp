// The in-memory line and its camera in strict mode, where a real port's rules hold: replies are
// lost while the host's port is closed, and a host that cuts its pause short goes unheard, while
// the upgrade job itself, with its reopens, passes. No pseudo-terminal: these run on Windows too.
#include "sim/memory_camera.h"
#include "upgrade/job_rig.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_worker.h"

#include <functional>
#include <gtest/gtest.h>

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

template <std::size_t N> Bytes bytes(const std::array<std::uint8_t, N>& frame) {
    return {frame.begin(), frame.end()};
}

const Bytes reply = bytes(enterAckReply);
const Bytes marker = {0x12, 0x34};

void openAt9600(MemoryLine& line) {
    ASSERT_EQ(line.openPort("memory", 9600, parityNone, 8, oneStopBit), 1);
}

struct LineCase {
    const char* name;
    std::function<void(MemoryLine&)> before; // leaves the host's port open
    bool lostWhenStrict;
};

const LineCase lineCases[] = {
    {"SentWhileTheHostIsClosed",
     [](MemoryLine& line) {
         line.sendToHost(reply, 9600);
         openAt9600(line);
     },
     true},
    {"UnreadWhenTheHostCloses",
     [](MemoryLine& line) {
         openAt9600(line);
         line.sendToHost(reply, 9600);
         line.closePort();
         openAt9600(line);
     },
     true},
    {"SentWhileTheHostIsOpen",
     [](MemoryLine& line) {
         openAt9600(line);
         line.sendToHost(reply, 9600);
     },
     false},
};

class StrictLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(StrictLine, LosesWhatARealPortLoses) {
    const LineCase& c = GetParam();
    for (const bool strict : {false, true}) {
        MemoryLine line(false, strict);
        c.before(line);
        line.sendToHost(marker, 9600); // what the host reads after the reply, if it kept it
        Bytes got(16);
        got.resize(static_cast<std::size_t>(line.readPort(got)));
        Bytes expected = strict && c.lostWhenStrict ? Bytes{} : reply;
        expected.insert(expected.end(), marker.begin(), marker.end());
        EXPECT_EQ(got, expected) << (strict ? "strict" : "forgiving");
    }
}

INSTANTIATE_TEST_SUITE_P(MemoryLine, StrictLine, ::testing::ValuesIn(lineCases),
                         [](const auto& param) { return std::string(param.param.name); });

Bytes readSome(SerialLink& link, std::size_t size) {
    Bytes got(size);
    got.resize(static_cast<std::size_t>(std::max(0, link.readPort(got))));
    return got;
}

class StartAtOnce : public ::testing::TestWithParam<bool> {};

TEST_P(StartAtOnce, OnlyTheForgivingCameraHearsIt) {
    MemoryCamera camera({.strict = GetParam()});
    SerialLink& link = camera.link();
    ASSERT_EQ(link.openPort("memory", 9600, parityNone, 8, oneStopBit), 1);
    link.writePort(makeEnterUpgradeCommand(1, UpgradeTarget::MainBoard));
    ASSERT_EQ(readSome(link, 5), reply);
    link.writePort(makeStartCommand(UpgradeTarget::MainBoard));
    EXPECT_EQ(readSome(link, 5), GetParam() ? Bytes{} : bytes(headerRequestReply));
}

INSTANTIATE_TEST_SUITE_P(MemoryCamera, StartAtOnce, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Strict" : "Forgiving"; });

// The special target reopens twice: at the upgrade speed after the EnterUpgradeCommand and at
// 115200 after the StartCommand.
TEST(StrictMemoryCamera, TheUpgradeJobWithBothReopensPasses) {
    MemoryCamera camera({.lineSpeed = 9600, .upgradeSpeed = 57600, .strict = true});
    const Bytes image = imageOf(2500);
    TempFile file(image);
    ReplyFlags flags;
    SystemClock clock;
    ScriptedInputs inputs;
    inputs.path = file.path();
    inputs.upgrade = 57600;
    RecordingLog log;
    ReplyReceiver receiver{camera.link(), flags, clock};
    UpgradeWorker worker{camera.link(), flags, clock, inputs, log};
    ASSERT_TRUE(worker.start({UpgradeTarget::Special}));
    EXPECT_EQ(worker.wait().result, 0) << log.log();
    const auto verdict = camera.waitForVerdict(2s);
    ASSERT_TRUE(verdict);
    EXPECT_EQ(verdict->target, UpgradeTarget::Special);
    EXPECT_EQ(verdict->image, image);
}

} // namespace
} // namespace orvane::testing
