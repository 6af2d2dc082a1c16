#include "cli/same_port.h"

#include "serial/port_key.h"

#include <algorithm>
#include <utility>

namespace orvane {

std::optional<std::string> samePortTwice(const std::vector<std::string>& ports) {
    std::vector<std::pair<PortKey, std::string>> seen;
    for (const std::string& port : ports) {
        const PortKey key = portKeyOf(port);
        const auto at = std::find_if(seen.begin(), seen.end(),
                                     [&](const auto& earlier) { return earlier.first.sameAs(key); });
        if (at != seen.end()) {
            return "--port " + port + " is the same port as --port " + at->second + " (" + at->first.path +
                   "): give each camera once";
        }
        seen.emplace_back(key, port);
    }
    return std::nullopt;
}

} // namespace orvane
