// Device identity from stat(2); /dev/tty is only a door to the controlling terminal, whose
// number the process's stat line in /proc holds.
#include "serial/device_identity.h"

#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace orvane {
namespace {

// The controlling terminal's device number (field 7 of /proc/self/stat), 0 when there is none.
// The program's name before it is in parentheses and may hold spaces, so fields are counted
// from the last ')'.
dev_t controllingTerminal() {
    std::ifstream in("/proc/self/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return 0;
    }
    const auto close = line.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::string state;
    long long sessionFields[4] = {}; // ppid, pgrp, session, tty_nr
    std::istringstream fields(line.substr(close + 1));
    fields >> state >> sessionFields[0] >> sessionFields[1] >> sessionFields[2] >> sessionFields[3];
    if (!fields) {
        return 0;
    }
    // tty_nr packs the minor into bits 31..20 and 7..0, the major into bits 15..8.
    const auto encoded = static_cast<unsigned long long>(sessionFields[3]);
    const unsigned int major = (encoded >> 8) & 0xFFFU;
    const unsigned int minor = (encoded & 0xFFU) | ((encoded >> 12) & 0xFFF00U);
    return encoded == 0 ? 0 : makedev(major, minor);
}

} // namespace

std::optional<DeviceIdentity> deviceIdentityOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    if (!S_ISCHR(status.st_mode)) {
        return DeviceIdentity{false, status.st_dev, status.st_ino};
    }
    dev_t device = status.st_rdev;
    if (device == makedev(5, 0)) { // /dev/tty
        device = controllingTerminal();
        if (device == 0) {
            return std::nullopt;
        }
    }
    return DeviceIdentity{true, device, 0};
}

} // namespace orvane
