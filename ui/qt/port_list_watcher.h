// Keeps the dialog's port list current as adapters come and go. It watches the tty class and
// /dev for entries added or removed (polling once a second where they cannot be watched),
// gathers the ports and their descriptions on a thread of its own, since a wedged driver can
// block a sysfs read, and hands the result to the dialog's thread. At most one gather runs at
// a time and they start at least a second apart.
#pragma once

#include "serial/port_details.h"
#include "ui/logic/dialog_call_queue.h"
#include "ui/logic/port_box.h"
#include "ui/qt/event_fd_wake.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace orvane {

class PortListWatcher : public QObject {
    Q_OBJECT
  public:
    // apply is called on this object's thread with every gathered list; a tty class that
    // cannot be read gives no call. roots.proc is ignored (no holder is looked for).
    PortListWatcher(PortRoots roots, std::function<void(const std::vector<PortListEntry>&)> apply,
                    QObject* parent = nullptr);
    // Waits for a gather in progress.
    ~PortListWatcher() override;

    PortListWatcher(const PortListWatcher&) = delete;
    PortListWatcher& operator=(const PortListWatcher&) = delete;

    // Asks for a gather: soon, or a second after the last one began.
    void refresh();

  private:
    void startGather();
    void gathered(const std::optional<std::vector<PortListEntry>>& entries);

    PortRoots roots_;
    std::function<void(const std::vector<PortListEntry>&)> apply_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* timer_ = nullptr; // the next gather
    QTimer* poll_ = nullptr;  // only where nothing could be watched
    QElapsedTimer sinceLast_;
    EventFdWake wake_;
    DialogCallQueue handOver_; // the gatherer's result to this object's thread
    std::thread gatherer_;
    bool inFlight_ = false;
    bool pending_ = false; // a change came while a gather ran
};

// The ports under roots.ttyClass with their descriptions, or nothing when it cannot be read.
std::optional<std::vector<PortListEntry>> gatherPortEntries(const PortRoots& roots);

} // namespace orvane
