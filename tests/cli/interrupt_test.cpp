// Ctrl-C and SIGTERM as InterruptWatch sees them, with real signals.
#include "cli/interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace orvane {
namespace {

using namespace std::chrono_literals;

extern "C" void ignoreSignal(int) {}

// The handler the watches restore, so that a late signal is harmless to the test.
class QuietTerm {
  public:
    explicit QuietTerm(int signo = SIGTERM) : signo_(signo) {
        struct sigaction quiet {};
        quiet.sa_handler = ignoreSignal;
        sigemptyset(&quiet.sa_mask);
        sigaction(signo_, &quiet, &previous_);
    }
    ~QuietTerm() { sigaction(signo_, &previous_, nullptr); }
    QuietTerm(const QuietTerm&) = delete;
    QuietTerm& operator=(const QuietTerm&) = delete;

  private:
    int signo_;
    struct sigaction previous_ {};
};

// One watch after another, each woken by its own signal and none by an earlier one's. A
// hang-up (the SSH session lost) ends the jobs as SIGTERM does.
TEST(InterruptWatch, EachWatchWakesOnItsOwnSignal) {
    for (const int signo : {SIGTERM, SIGHUP}) {
        const QuietTerm quiet(signo);
        for (int round = 0; round < 3; ++round) {
            const InterruptWatch watch;
            const auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(watch.waitFor(30ms));
            EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms) << "a stale wake-up ended the wait";
            std::thread sender([signo] { ::kill(::getpid(), signo); });
            EXPECT_TRUE(watch.waitFor(5s));
            sender.join();
            EXPECT_EQ(watch.exitStatus(), 128 + signo);
        }
    }
}

// The upgrade goes on waiting for its jobs after acting on a signal: its waits must still
// sleep (they returned at once and spun a core until every job had ended).
TEST(InterruptWatch, WaitsOnAfterTheSignalWasSeen) {
    const QuietTerm quiet;
    const InterruptWatch watch;
    ::raise(SIGTERM);
    EXPECT_TRUE(watch.waitFor(5s));
    const auto cpuNow = [] {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return std::chrono::seconds{now.tv_sec} + std::chrono::nanoseconds{now.tv_nsec};
    };
    const auto cpuStart = cpuNow();
    const auto start = std::chrono::steady_clock::now();
    int waits = 0;
    while (std::chrono::steady_clock::now() - start < 200ms) {
        EXPECT_TRUE(watch.waitFor(50ms));
        ++waits;
    }
    EXPECT_LE(waits, 5);
    EXPECT_LT(cpuNow() - cpuStart, 20ms);
}

// Whatever the first signal was, a second of any caught kind ends the process at once, as a
// second Ctrl-C does: the orderly end may be what hangs.
TEST(InterruptWatchDeathTest, ASecondSignalOfAnyKindEndsAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const auto& [first, second] : {std::pair{SIGTERM, SIGINT}, {SIGINT, SIGHUP}, {SIGHUP, SIGTERM}}) {
        const auto twoSignals = [first, second] {
            const InterruptWatch watch;
            ::raise(first);
            ::raise(second);
            std::_Exit(0);
        };
        EXPECT_EXIT(twoSignals(), ::testing::KilledBySignal(second), "") << first << " then " << second;
    }
}

// With no descriptor left for the wake-up pipe the wait still waits (a caller looping on it
// spun a core before). The death-test child starts afresh, so the pipe is made in it.
TEST(InterruptWatchDeathTest, WaitsWithoutDescriptorsForItsPipe) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto waitWithNoDescriptors = [] {
        const int lowestFree = ::open("/dev/null", O_RDONLY);
        ::close(lowestFree);
        const rlimit none{static_cast<rlim_t>(lowestFree), static_cast<rlim_t>(lowestFree)};
        ::setrlimit(RLIMIT_NOFILE, &none);
        const InterruptWatch watch;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        for (int i = 0; i < 6; ++i) {
            watch.waitFor(50ms);
        }
        const bool waited = std::chrono::steady_clock::now() - start >= 250ms;
        const bool idle = std::clock() - cpuStart < CLOCKS_PER_SEC / 10;
        std::_Exit(waited && idle ? 0 : 1);
    };
    EXPECT_EXIT(waitWithNoDescriptors(), ::testing::ExitedWithCode(0), "");
}

// A signal handled on another thread while the watch ends must not write into a descriptor
// that the ending watch gave back and the process handed out again (ThreadSanitizer sees the
// unguarded descriptor; elsewhere a stray byte in the new pipe would show it).
TEST(InterruptWatch, HandlerRacingTheEndWritesIntoNoReusedDescriptor) {
    const QuietTerm quiet;
    std::atomic<int> go{0};
    std::atomic<int> sent{0};
    constexpr int rounds = 1000;
    std::thread sender([&] {
        for (int round = 1; round <= rounds; ++round) {
            while (go.load() < round) {
                std::this_thread::yield();
            }
            ::pthread_kill(::pthread_self(), SIGTERM); // handled on this thread
            sent.store(round);
        }
    });
    int stray = 0;
    for (int round = 1; round <= rounds; ++round) {
        {
            const InterruptWatch watch;
            go.store(round);
        }
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        while (sent.load() < round) { // one signal per watch: a second would end the process
            std::this_thread::yield();
        }
        char byte = 0;
        stray += ::read(fds[0], &byte, 1) > 0 ? 1 : 0;
        ::close(fds[0]);
        ::close(fds[1]);
    }
    sender.join();
    EXPECT_EQ(stray, 0);
}

} // namespace
} // namespace orvane
