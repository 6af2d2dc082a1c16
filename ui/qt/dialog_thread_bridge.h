// Runs work from other threads on the dialog's thread and waits for it, the way a sent window
// message does: the upgrade job reads the controls and sets the log through it, so the
// dialog's members are only ever touched on the dialog's own thread.
//
// The calls wait in the dialog's call queue; an eventfd watched by the dialog thread's event
// loop wakes it.
#pragma once

#include "ui/logic/dialog_call_queue.h"

#include <QObject>
#include <functional>

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
    // Queues task for the owner thread and returns at once; dropped by the shut-down.
    void post(std::function<void()> task);

    // Runs the tasks waiting now. Owner thread only.
    void runPending();

    // From now on calls are not run: waiting callers return false at once, and so do later
    // ones. Owner thread only; the destructor does it too.
    void shutDown();

  private:
    bool wake();
    void drainWakeups();

    int eventFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    DialogCallQueue queue_;
};

} // namespace orvane
