// A wake-up that any thread can ring for the Qt event loop of the thread that made it: an
// eventfd the loop watches. The dialog's call queues are woken this way rather than through
// Qt's event queue, whose futex locks ThreadSanitizer cannot see; what is handed over waits
// in the queue behind its mutex, and the eventfd only says that something waits.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace orvane {

class EventFdWake {
  public:
    // onWake runs on the constructing thread's event loop after one or more rings.
    explicit EventFdWake(std::function<void()> onWake);
    ~EventFdWake();

    EventFdWake(const EventFdWake&) = delete;
    EventFdWake& operator=(const EventFdWake&) = delete;

    // Any thread; never blocks. false when there is no eventfd (the system had none to give).
    bool ring();

  private:
    void drain();

    int fd_ = -1;
    std::function<void()> onWake_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace orvane
