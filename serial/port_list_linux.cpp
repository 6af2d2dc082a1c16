// The port list from sysfs; the rules are in port_list.h.
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

std::string_view digitRun(std::string_view text) {
    std::size_t end = 0;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return text.substr(0, end);
}

// Compares two digit runs by value, however long.
int compareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
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

// Natural order of port names: runs of digits compare by their value, so "ttyS2" comes before
// "ttyS10"; names that differ only in leading zeros fall back to plain byte order.
bool naturalLess(std::string_view a, std::string_view b) {
    std::string_view restA = a;
    std::string_view restB = b;
    while (!restA.empty() && !restB.empty()) {
        if (isDigit(restA.front()) && isDigit(restB.front())) {
            const auto numberA = digitRun(restA);
            const auto numberB = digitRun(restB);
            if (const int order = compareNumbers(numberA, numberB); order != 0)
                return order < 0;
            restA.remove_prefix(numberA.size());
            restB.remove_prefix(numberB.size());
            continue;
        }
        if (restA.front() != restB.front())
            return static_cast<unsigned char>(restA.front()) < static_cast<unsigned char>(restB.front());
        restA.remove_prefix(1);
        restB.remove_prefix(1);
    }
    if (restA.empty() != restB.empty())
        return restA.empty();
    return a < b;
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
