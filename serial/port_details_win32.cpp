// Port details on Windows: the name and its device path, whether the system has such a
// device, and from the device setup API the friendly name, the maker, the driver service and
// the USB identity of the adapter behind a COM port. Windows gives every user the serial
// ports, and the program holding one is not told.
#include "serial/port_details.h"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

#include "platform/windows_text.h"
#include "serial/port_name.h"
#include "serial/usb_instance_id.h"

#include <algorithm>
#include <cctype>

namespace orvane {
namespace {

// Device info set of the present serial and parallel ports, closed with the object.
class PortDevices {
  public:
    PortDevices() : set_(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT)) {}
    ~PortDevices() {
        if (set_ != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    PortDevices(const PortDevices&) = delete;
    PortDevices& operator=(const PortDevices&) = delete;
    HDEVINFO get() const { return set_; }

  private:
    HDEVINFO set_;
};

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The COM name a device's own registry key gives it ("PortName").
std::string portNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) {
        return {};
    }
    return registryText(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(value), size));
}

// A text property in UTF-8, whatever the system's code page (a friendly name such as
// "Périphérique série USB (COM9)"); for a list (the hardware ids) its first entry.
std::optional<std::string> propertyOf(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t value[512] = {};
    DWORD type = 0;
    DWORD size = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(value),
                                           sizeof value, &size) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return std::nullopt;
    }
    std::string text = registryText(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(value), std::min<DWORD>(size, sizeof value)));
    return text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
}

// "USB\VID_0403&PID_6001&REV_0600" -> "0403", "6001" (lower case, as sysfs writes them).
std::optional<std::string> usbIdOf(const std::string& hardwareId, std::string_view key) {
    const auto at = hardwareId.find(key);
    if (!hardwareId.starts_with("USB\\") && !hardwareId.starts_with("FTDIBUS\\")) {
        return std::nullopt;
    }
    if (at == std::string::npos || at + key.size() + 4 > hardwareId.size()) {
        return std::nullopt;
    }
    std::string id = hardwareId.substr(at + key.size(), 4);
    for (char& c : id) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return id;
}

// The USB serial number of the device, or of the device a composite device's interface
// belongs to (a CDC-ACM port is an interface of its device).
std::optional<std::string> usbSerialOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t id[MAX_DEVICE_ID_LEN] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id, MAX_DEVICE_ID_LEN, nullptr)) {
        return std::nullopt;
    }
    if (auto serial = usbSerialOfInstanceId(narrowText(id))) {
        return serial;
    }
    DEVINST parent = 0;
    wchar_t parentId[MAX_DEVICE_ID_LEN] = {};
    if (narrowText(id).find("&MI_") == std::string::npos ||
        CM_Get_Parent(&parent, device.DevInst, 0) != CR_SUCCESS ||
        CM_Get_Device_IDW(parent, parentId, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
        return std::nullopt;
    }
    return usbSerialOfInstanceId(narrowText(parentId));
}

void addSetupDetails(PortDetails& details) {
    const PortDevices devices;
    if (devices.get() == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices.get(), index, &device); ++index) {
        if (!sameName(portNameOf(devices.get(), device), details.name)) {
            continue;
        }
        details.product = propertyOf(devices.get(), device, SPDRP_FRIENDLYNAME);
        details.manufacturer = propertyOf(devices.get(), device, SPDRP_MFG);
        details.driver = propertyOf(devices.get(), device, SPDRP_SERVICE);
        if (const auto hardwareId = propertyOf(devices.get(), device, SPDRP_HARDWAREID)) {
            details.vid = usbIdOf(*hardwareId, "VID_");
            details.pid = usbIdOf(*hardwareId, "PID_");
        }
        details.serial = usbSerialOf(devices.get(), device);
        return;
    }
}

} // namespace

UserIdentity UserIdentity::ofProcess() {
    return {};
}

std::vector<PortHolder> findPortHolders(const std::filesystem::path& /*device*/,
                                        const std::filesystem::path& /*procRoot*/) {
    return {};
}

PortDetails describePort(std::string_view name, const PortRoots& /*roots*/, const UserIdentity& /*user*/) {
    PortDetails details;
    details.name = std::string(name);
    details.path = windowsDevicePathOf(name);
    if (details.path.empty()) {
        details.access = "no such device";
        return details;
    }
    // Asks the object manager, without opening the port (an open raises DTR).
    const std::wstring device = widenText(details.path.substr(4));
    wchar_t target[1024];
    details.access = QueryDosDeviceW(device.c_str(), target, 1024) != 0 ? "ok" : "no such device";
    addSetupDetails(details);
    return details;
}

std::string portDescription(const PortDetails& details) {
    if (details.product && !details.product->empty()) {
        return *details.product;
    }
    return details.driver.value_or(std::string());
}

} // namespace orvane
