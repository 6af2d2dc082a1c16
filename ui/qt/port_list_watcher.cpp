// Hot-plug for the port list; see port_list_watcher.h.
#include "ui/qt/port_list_watcher.h"

#include "serial/port_list.h"

#include <QFileSystemWatcher>
#include <QTimer>

namespace orvane {
namespace {

constexpr int minimumSpacingMs = 1000;
// udev adds the by-id links and sets the node's group a moment after the node appears.
constexpr int settleMs = 250;

} // namespace

std::optional<std::vector<PortListEntry>> gatherPortEntries(const PortRoots& roots) {
    std::vector<std::string> names;
    if (gatherPortNames(names, roots.ttyClass) < 0) {
        return std::nullopt;
    }
    const PortRoots withoutHolders{roots.ttyClass, roots.dev, {}};
    const UserIdentity user = UserIdentity::ofProcess();
    std::vector<PortListEntry> entries;
    for (const std::string& name : names) {
        const PortDetails details = describePort(name, withoutHolders, user);
        entries.push_back({name, portDescription(details)});
    }
    return entries;
}

PortListWatcher::PortListWatcher(PortRoots roots,
                                 std::function<void(const std::vector<PortListEntry>&)> apply,
                                 QObject* parent)
    : QObject(parent), roots_(std::move(roots)), apply_(std::move(apply)),
      watcher_(new QFileSystemWatcher(this)), timer_(new QTimer(this)),
      wake_([this] { handOver_.runPending(); }), handOver_([this] { return wake_.ring(); }) {
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &PortListWatcher::startGather);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &PortListWatcher::refresh);
    const QStringList watched{QString::fromStdString(roots_.ttyClass.string()),
                              QString::fromStdString(roots_.dev.string())};
    if (watcher_->addPaths(watched).size() == watched.size()) {
        poll_ = new QTimer(this);
        connect(poll_, &QTimer::timeout, this, &PortListWatcher::refresh);
        poll_->start(minimumSpacingMs);
    }
}

PortListWatcher::~PortListWatcher() {
    handOver_.shutDown(); // a result handed over from now on is dropped unread
    if (gatherer_.joinable()) {
        gatherer_.join();
    }
}

void PortListWatcher::refresh() {
    if (inFlight_) {
        pending_ = true;
        return;
    }
    if (timer_->isActive()) {
        return;
    }
    const qint64 sinceLast = sinceLast_.isValid() ? sinceLast_.elapsed() : minimumSpacingMs;
    timer_->start(static_cast<int>(std::max<qint64>(settleMs, minimumSpacingMs - sinceLast)));
}

void PortListWatcher::startGather() {
    if (gatherer_.joinable()) {
        gatherer_.join(); // the last one has handed over its result already
    }
    inFlight_ = true;
    sinceLast_.restart();
    gatherer_ = std::thread([this, roots = roots_] {
        auto entries = gatherPortEntries(roots);
        // Through a queue whose lock ThreadSanitizer sees (Qt's event queue locks with futexes
        // it cannot), dropped unanswered if the watcher is being destroyed meanwhile.
        handOver_.post([this, found = std::move(entries)] { gathered(found); });
    });
}

void PortListWatcher::gathered(const std::optional<std::vector<PortListEntry>>& entries) {
    inFlight_ = false;
    if (entries) {
        apply_(*entries);
    }
    if (pending_) {
        pending_ = false;
        refresh();
    }
}

} // namespace orvane
