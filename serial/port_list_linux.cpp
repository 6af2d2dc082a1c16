// The port list from sysfs; the rules are in port_list.h.
#include "serial/natural_order.h"
#include "serial/port_list.h"

#include <algorithm>
#include <fstream>
#include <string_view>
#include <system_error>

namespace orvane {
namespace {

namespace fs = std::filesystem;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool hasDevice(const fs::path& entry) {
    std::error_code error;
    return fs::exists(fs::symlink_status(entry / "device", error));
}

// The on-board UART driver's slots: list only those where a UART was found.
bool isUartWithoutHardware(const fs::path& entry, std::string_view name) {
    if (!name.starts_with("ttyS") || name.size() == 4 || !isDigit(name[4]))
        return false;
    std::ifstream typeFile(entry / "type");
    int type = 0;
    if (!(typeFile >> type))
        return true;
    return type == 0;
}

} // namespace

int gatherPortNames(std::vector<std::string>& names, const fs::path& sysfsRoot) {
    std::error_code error;
    fs::directory_iterator entries(sysfsRoot, error);
    if (error)
        return -1;

    std::vector<std::string> found;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error)
            break;
        const fs::path& entry = entries->path();
        const std::string name = entry.filename().string();
        if (!hasDevice(entry) || isUartWithoutHardware(entry, name))
            continue;
        std::string shown = name;
        std::replace(shown.begin(), shown.end(), '!', '/');
        found.push_back(std::move(shown));
    }
    std::sort(found.begin(), found.end(),
              [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    if (found.size() > maxPortNames)
        found.resize(maxPortNames);
    names = std::move(found);
    return static_cast<int>(names.size());
}

} // namespace orvane
