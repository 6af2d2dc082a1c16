// Runs work from other threads on the dialog's thread and waits for it, the way a sent window
// message does: the upgrade job reads the controls and sets the log through it, so the
// dialog's members are only ever touched on the dialog's own thread.
//
// The hand-over uses a standard mutex and an eventfd watched by the dialog thread's event
// loop, so every step of it is visible to ThreadSanitizer.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <QObject>

class QSocketNotifier;

namespace orvane {

class DialogThreadBridge : public QObject {
    Q_OBJECT
public:
    // Lives on the thread that constructs it.
    explicit DialogThreadBridge(QObject* parent = nullptr);
    ~DialogThreadBridge() override;

    DialogThreadBridge(const DialogThreadBridge&) = delete;
    DialogThreadBridge& operator=(const DialogThreadBridge&) = delete;

    // Runs task on the owner thread and returns when it has run: at once when called there,
    // otherwise when the owner's event loop (or runPending) has taken it. Answers false, with
    // the task not run, once the bridge is shut down.
    bool call(std::function<void()> task);

    // Runs the tasks waiting now. Owner thread only.
    void runPending();

    // From now on calls are not run: waiting callers return false at once, and so do later
    // ones. Owner thread only; the destructor does it too.
    void shutDown();

private:
    struct Pending {
        std::function<void()> task;
        bool finished = false;
        bool ran = false;
    };

    void wake();
    void drainWakeups();

    const std::thread::id owner_;
    int eventFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;

    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool closed_ = false;
};

} // namespace orvane
