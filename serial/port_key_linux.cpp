#include "serial/port_key.h"
#include "serial/port_name.h"

#include <filesystem>
#include <system_error>

namespace orvane {

PortKey portKeyOf(std::string_view port) {
    const std::string path = devicePathOf(port);
    if (path.empty()) {
        return {std::nullopt, std::string(port)};
    }
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    return {deviceIdentityOf(path),
            error ? std::filesystem::path(path).lexically_normal().string() : real.string()};
}

} // namespace orvane
