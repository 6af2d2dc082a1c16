// The port list from the registry, where Windows keeps the serial ports it has: each value
// of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM holds one port name (COM1 ...) as its data.
#include "platform/windows_text.h"
#include "serial/natural_order.h"
#include "serial/port_list.h"

#include <windows.h>

#include <algorithm>

namespace orvane {
namespace {

// Ends the enumeration of a registry that never says it has no more values.
constexpr DWORD highestValueIndex = 4096;

// The value name and data limits, each counting the terminating zero.
constexpr DWORD nameLimit = 100;
constexpr DWORD dataLimitBytes = 100;

} // namespace

int gatherPortNames(std::vector<std::string>& names, const std::filesystem::path& /*sysfsRoot*/) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM\\", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return -1;
    }
    std::vector<std::string> found;
    for (DWORD index = 0; index < highestValueIndex && found.size() < maxPortNames; ++index) {
        wchar_t valueName[nameLimit];
        wchar_t data[dataLimitBytes / sizeof(wchar_t) + 1] = {};
        DWORD nameLength = nameLimit;
        DWORD dataBytes = dataLimitBytes;
        DWORD type = 0;
        const LONG answer = RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (answer == ERROR_NO_MORE_ITEMS) {
            break;
        }
        // A value that does not fit the limits, or holds no text, is left out.
        if (answer != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            continue;
        }
        const std::string text = registryText(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data), dataBytes));
        if (!text.empty()) {
            found.push_back(text);
        }
    }
    RegCloseKey(key);
    // The registry keeps the order in which the ports were installed: COM1, COM11, COM9, ...
    std::sort(found.begin(), found.end(),
              [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    names = std::move(found);
    return static_cast<int>(names.size());
}

} // namespace orvane
