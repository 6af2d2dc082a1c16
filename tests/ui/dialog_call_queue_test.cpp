// The dialog's call queue under several threads at once: each thread's calls run in the order
// made, none is lost, and once the dialog ends nothing runs and nobody waits.
#include "ui/logic/dialog_call_queue.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <utility>
#include <vector>

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

// This thread as the dialog's: woken by a flag, it runs what waits.
struct DialogThread {
    std::atomic<bool> rung{false};
    bool wakes = true;
    DialogCallQueue queue{[this] {
        rung = true;
        return wakes;
    }};

    template <typename Done> bool pumpUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            if (!rung.exchange(false)) {
                std::this_thread::sleep_for(1ms);
            }
            queue.runPending();
        }
        return true;
    }
};

TEST(DialogCallQueue, KeepsEachThreadsOrderAndLosesNothing) {
    constexpr int threads = 4;
    constexpr int perThread = 300;
    DialogThread dialog;
    std::vector<std::pair<int, int>> ran; // touched on the dialog thread only
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&dialog, &ran, t] {
            for (int i = 0; i < perThread; ++i) {
                auto task = [&ran, t, i] { ran.emplace_back(t, i); };
                // Posted and waited-for calls share one order.
                if (i % 3 == 0) {
                    dialog.queue.post(task);
                } else {
                    EXPECT_TRUE(dialog.queue.call(task));
                }
            }
        });
    }
    const bool all = dialog.pumpUntil([&] { return ran.size() == threads * perThread; });
    for (std::thread& worker : workers) {
        worker.join();
    }
    dialog.queue.runPending();
    ASSERT_TRUE(all) << ran.size();
    EXPECT_EQ(ran.size(), threads * perThread); // nothing twice either
    std::vector<int> next(threads, 0);
    for (const auto& [t, i] : ran) {
        EXPECT_EQ(i, next[t]++) << "thread " << t;
    }
}

TEST(DialogCallQueue, RunsNothingOnceTheDialogEnds) {
    DialogThread dialog;
    std::atomic<int> ran{0};
    const auto task = [&ran] { ++ran; };
    bool waited = true;
    std::thread caller([&] { waited = dialog.queue.call(task); });
    while (!dialog.queue.pending()) {
        std::this_thread::sleep_for(1ms);
    }
    dialog.queue.post(task);

    dialog.queue.shutDown(); // releases the waiting caller
    caller.join();
    EXPECT_FALSE(waited);
    dialog.queue.runPending();
    EXPECT_FALSE(dialog.queue.call(task)); // on the dialog thread
    std::thread([&] { waited = dialog.queue.call(task); }).join();
    EXPECT_FALSE(waited);
    dialog.queue.post(task);
    dialog.queue.runPending();
    EXPECT_EQ(ran, 0);
    EXPECT_FALSE(dialog.queue.pending());
}

TEST(DialogCallQueue, AWindowThatCannotWakeRunsNothing) {
    DialogThread dialog;
    dialog.wakes = false;
    bool ran = false;
    bool answered = true;
    std::thread([&] { answered = dialog.queue.call([&ran] { ran = true; }); }).join();
    EXPECT_FALSE(answered);
    EXPECT_FALSE(dialog.queue.pending());
    dialog.queue.runPending();
    EXPECT_FALSE(ran);
}

} // namespace
} // namespace orvane::testing
