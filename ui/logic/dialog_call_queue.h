// Calls from other threads waiting for the dialog's thread, the way a sent window message
// waits: the upgrade job reads the controls and sets the log through it, so the dialog's
// members are only ever touched on the dialog's own thread. Each window supplies the wake-up
// (an eventfd its event loop watches, a posted window message) and runs runPending when woken.
//
// The hand-over is a standard mutex and condition variable, so ThreadSanitizer sees every
// step, and a shut-down releases a waiting caller at once: it never waits on a window that
// has gone.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace orvane {

class DialogCallQueue {
  public:
    // Asks the dialog thread to call runPending soon; false when it cannot (the window is
    // gone). Called with the queue's lock held, so it must not block or call back.
    using Wake = std::function<bool()>;

    // Lives on the dialog's thread, the one that constructs it.
    explicit DialogCallQueue(Wake wake);
    ~DialogCallQueue();

    DialogCallQueue(const DialogCallQueue&) = delete;
    DialogCallQueue& operator=(const DialogCallQueue&) = delete;

    // Runs task on the dialog thread and returns when it has run: at once when called there,
    // otherwise once runPending has taken it. Answers false, with the task not run, once the
    // queue is shut down or the wake-up fails.
    bool call(std::function<void()> task);
    // Queues task and returns at once; dropped by the shut-down.
    void post(std::function<void()> task);

    // Runs the tasks waiting now. Dialog thread only.
    void runPending();
    // Whether tasks wait (a window that could not wake earlier asks this once it can).
    bool pending();

    // From now on nothing runs: waiting callers return false at once, and so do later ones.
    // Dialog thread only; the destructor does it too.
    void shutDown();

  private:
    struct Call {
        std::function<void()> task;
        bool finished = false; // run, or dropped by the shut-down
        bool ran = false;
    };

    bool enqueue(const std::shared_ptr<Call>& call);

    const std::thread::id owner_;
    const Wake wake_;

    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<Call>> queue_;
    bool closed_ = false;
};

} // namespace orvane
