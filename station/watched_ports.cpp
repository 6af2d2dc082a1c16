#include "station/watched_ports.h"

#include "station/station.h"

#include <set>

namespace orvane {
namespace {

std::vector<std::filesystem::path> foldersToWatch(const StationPlan& plan) {
    if (plan.slots.empty()) {
        return {plan.watchFolder};
    }
    std::set<std::filesystem::path> folders;
    for (const FixedSlot& slot : plan.slots) {
        folders.insert(folderOfPort(slot.port));
    }
    return {folders.begin(), folders.end()};
}

} // namespace

WatchedPorts::WatchedPorts(const StationPlan& plan) : watch_(foldersToWatch(plan)) {}

} // namespace orvane
