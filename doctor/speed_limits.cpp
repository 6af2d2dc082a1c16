// The figure is what serial flashers' trackers report (esptool issue 145 and its neighbours
// for CH340; PL2303 clones likewise): such adapters fail above 115200 bit/s on some chips, so
// the top speed offered here is already at their edge. Kept a warning: most chips cope.
#include "doctor/speed_limits.h"

#include "text/string_table.h"

#include <array>
#include <string_view>

namespace orvane {
namespace {

struct LimitedAdapter {
    std::string_view vid;
    std::string_view pid;
    std::string_view driver; // for ports whose USB identity is not known
    std::string_view name;
};

constexpr int reportedLimit = 115200;

constexpr std::array limitedAdapters{
    LimitedAdapter{"1a86", "7523", "ch341", "CH340"},
    LimitedAdapter{"1a86", "5523", "ch341", "CH341"},
    LimitedAdapter{"067b", "2303", "pl2303", "PL2303"},
};

const LimitedAdapter* adapterOf(const PortDetails& port) {
    for (const LimitedAdapter& adapter : limitedAdapters) {
        if (port.vid && port.pid ? *port.vid == adapter.vid && *port.pid == adapter.pid
                                 : port.driver && *port.driver == adapter.driver) {
            return &adapter;
        }
    }
    return nullptr;
}

} // namespace

std::optional<Finding> speedLimitFinding(const PortDetails& port, const DoctorSetup& setup) {
    const LimitedAdapter* adapter = adapterOf(port);
    if (adapter == nullptr || setup.upgradeSpeed < reportedLimit) {
        return std::nullopt;
    }
    return Finding{Severity::Warning, port.name, "speed-limit",
                   fillText(textOf(IDS_DOCTOR_SPEED_LIMIT, setup.language),
                            {port.name, adapter->name, std::to_string(setup.upgradeSpeed)})};
}

} // namespace orvane
