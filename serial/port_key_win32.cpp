#include "serial/port_key.h"
#include "serial/port_name.h"

#include <algorithm>
#include <cctype>

namespace orvane {

PortKey portKeyOf(std::string_view port) {
    std::string path = windowsDevicePathOf(port);
    if (path.empty()) {
        return {std::nullopt, std::string(port)};
    }
    std::transform(path.begin(), path.end(), path.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return {std::nullopt, path};
}

} // namespace orvane
