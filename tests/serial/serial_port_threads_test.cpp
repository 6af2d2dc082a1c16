// SerialPort shared by threads as the applications use it: the reply receiver reads all the
// time while other threads write, close and reopen. Run under ThreadSanitizer as well.
#include "pty_pair.h"
#include "serial/serial_port.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPair;

int openAt(SerialPort& port, const PtyPair& pty) {
    return port.openPort(pty.slavePath(), 115200, parityNone, 8, oneStopBit);
}

std::chrono::milliseconds threadCpuTime() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::seconds(now.tv_sec) +
                                                                 std::chrono::nanoseconds(now.tv_nsec));
}

TEST(SerialThreads, CloseWakesABlockedReadAtOnce) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty), 1);

    std::promise<void> started;
    auto readerStarted = started.get_future();
    auto reader = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> buffer(128);
        started.set_value();
        const int count = port.readPort(buffer);
        return std::make_pair(count, Clock::now());
    });
    readerStarted.wait();
    std::this_thread::sleep_for(100ms); // the read is now waiting in the kernel

    const auto closeStart = Clock::now();
    EXPECT_NE(port.closePort(), 0);
    const auto closeEnd = Clock::now();
    const auto [count, readEnd] = reader.get();
    EXPECT_EQ(count, 0);
    EXPECT_LT(readEnd - closeStart, 50ms);
    EXPECT_LT(closeEnd - closeStart, 50ms);
    EXPECT_FALSE(port.isOpen());
}

// After a close, the descriptor numbers are free for anything the process opens next. A read
// that was in progress must not go on against whatever now carries that number.
TEST(SerialThreads, ReadInProgressNeverReadsADescriptorHandedOutAgain) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty), 1);
    const auto portFd = static_cast<int>(port.portHandle());

    auto reader = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> buffer(128);
        return port.readPort(buffer);
    });
    std::this_thread::sleep_for(100ms);
    ASSERT_NE(port.closePort(), 0);

    // Take the freed numbers and put data behind them.
    int pipes[4][2];
    bool reused = false;
    for (auto& p : pipes) {
        ASSERT_EQ(::pipe(p), 0);
        reused = reused || p[0] == portFd || p[1] == portFd;
        ASSERT_EQ(::write(p[1], "camera", 6), 6);
    }
    EXPECT_EQ(reader.get(), 0);
    for (auto& p : pipes) {
        char buffer[8] = {};
        EXPECT_EQ(::read(p[0], buffer, sizeof buffer), 6) << "a read went on against a reused descriptor";
        ::close(p[0]);
        ::close(p[1]);
    }
    if (!reused)
        GTEST_LOG_(INFO) << "the descriptor number was not reused this time";
}

// The far end vanishes (a pulled USB adapter behaves alike: the line hangs up).
TEST(SerialThreads, VanishedDeviceDoesNotSpin) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty), 1);
    pty.closeMaster();

    std::vector<std::uint8_t> buffer(128);
    const auto cpuBefore = threadCpuTime();
    const auto start = Clock::now();
    int received = 0;
    for (int i = 0; i < 3; ++i)
        received += port.readPort(buffer);
    const std::uint8_t frame[] = {0xA5, 0x5A, 0x01};
    EXPECT_LE(port.writePort(frame), 3);
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const auto cpu = threadCpuTime() - cpuBefore;

    EXPECT_EQ(received, 0);
    EXPECT_GE(wall, 3 * 628ms - 30ms); // each read sleeps out its limit
    EXPECT_LT(cpu, 100ms) << "reads on a vanished device spun the CPU";

    // Close, and the device that is back opens.
    EXPECT_NE(port.closePort(), 0);
    PtyPair back;
    EXPECT_EQ(openAt(port, back), 1);
}

// A job waits on deviceGone() while the receiver's read is in the port: the unplug must be
// told when it happens, not when that read has slept out its limit.
TEST(SerialThreads, VanishedDeviceIsToldBeforeTheReadRests) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty), 1);
    std::vector<std::uint8_t> buffer(128);
    std::future<Clock::time_point> readEnded = std::async(std::launch::async, [&] {
        (void)port.readPort(buffer);
        return Clock::now();
    });
    std::this_thread::sleep_for(50ms);
    pty.closeMaster();
    while (!port.deviceGone() && readEnded.wait_for(1ms) != std::future_status::ready) {
    }
    const auto told = Clock::now();
    EXPECT_TRUE(port.deviceGone());
    EXPECT_GT(readEnded.get() - told, 300ms);
}

// The three threads of the dialog application at once: a receiver reading whenever a port is
// open, a worker writing frames, and close and reopen from the dialog.
TEST(SerialThreads, ReceiverWriterAndReopenTogether) {
    PtyPair pty;
    SerialPort port;
    ASSERT_EQ(openAt(port, pty), 1);
    std::atomic<bool> running{true};
    std::atomic<long> receivedBytes{0};

    std::thread receiver([&] {
        std::vector<std::uint8_t> buffer(128);
        while (running.load()) {
            if (port.portHandle() == SerialPort::invalidHandle) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            receivedBytes += port.readPort(buffer);
        }
    });
    std::thread worker([&] {
        const std::vector<std::uint8_t> frame{0xA5, 0x00, 0x0D, 0x0A, 0x11, 0x13, 0x1A, 0xFF};
        while (running.load()) {
            (void)port.writePort(frame);
            std::this_thread::sleep_for(2ms);
        }
    });
    std::thread camera([&] {
        while (running.load()) {
            (void)pty.readMaster(4096, 5ms);
            pty.writeMaster({0x5A, 0x01, 0x02});
        }
    });

    for (int i = 0; i < 15; ++i) {
        std::this_thread::sleep_for(20ms);
        EXPECT_NE(port.closePort(), 0);
        EXPECT_EQ(openAt(port, pty), 1);
    }
    running.store(false);
    EXPECT_NE(port.closePort(), 0);
    receiver.join();
    worker.join();
    camera.join();
    EXPECT_GT(receivedBytes.load(), 0);
    EXPECT_FALSE(port.isOpen());
}

} // namespace
} // namespace orvane
