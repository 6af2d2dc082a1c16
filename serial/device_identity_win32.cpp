// Windows names a COM port by its name alone; there is no device number to compare.
#include "serial/device_identity.h"

namespace orvane {

std::optional<DeviceIdentity> deviceIdentityOf(const std::filesystem::path& /*path*/) {
    return std::nullopt;
}

} // namespace orvane
