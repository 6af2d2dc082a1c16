// On Windows a port has no group or mode, and neither ModemManager nor brltty runs: what
// applies is whether the port opens or another program holds it. The rest is said not to
// be checked, so a clean run is not taken for more than it is.
#include "doctor/system_checks.h"
#include "platform/windows_text.h"
#include "serial/port_list.h"
#include "serial/port_name.h"
#include "text/string_table.h"

#include <windows.h>

namespace orvane {

std::vector<std::string> portsToExamine(const DoctorSetup&) {
    std::vector<std::string> names;
    (void)gatherPortNames(names);
    return names;
}

PortDetails portDetailsFor(const std::string& name, const DoctorSetup&) {
    return describePort(name);
}

Findings portFindings(const PortDetails& port, const DoctorSetup& setup) {
    // A COM port opens for one program at a time: a refused share is a busy port.
    const std::wstring path = widenText(windowsDevicePathOf(port.name));
    HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        return {{Severity::Blocker, port.name, "busy",
                 fillText(textOf(IDS_DOCTOR_BUSY, setup.language), {port.name})}};
    }
    return {{Severity::Blocker, port.name, "no-device",
             fillText(textOf(IDS_DOCTOR_NO_DEVICE, setup.language), {port.name})}};
}

Findings machineFindings(const DoctorSetup& setup) {
    return {{Severity::Info, "", "not-checked", std::string(textOf(IDS_DOCTOR_NOT_CHECKED, setup.language))}};
}

} // namespace orvane
