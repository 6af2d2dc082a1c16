// Maps the port name the user picked or typed to the device it stands for. The dialog offers
// "COM1" and "COM2" by default and the port list offers names such as "ttyUSB0"; a technician
// may also type a full path such as /dev/serial/by-id/usb-FTDI...
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The device path for a port name, or an empty string when the name cannot stand for a device.
//   "/dev/ttyUSB0" (any absolute path)  -> unchanged
//   "ttyUSB0", "pts/3" (a bare name)    -> "/dev/ttyUSB0", "/dev/pts/3"
//   "COM1" .. "COM256", any letter case -> "/dev/ttyS0" .. "/dev/ttyS255" (the on-board ports)
//   "\\.\COM3" (the Windows device form) -> as "COM3"
// Spaces around the name are ignored. Empty: an empty name or "\\.\" alone; "COM" without a
// number or with one that is not 1 to 256 (COM, COM0, COM01, COM3x, COM257); a relative name
// with an empty, "." or ".." component (it must not climb out of /dev); a name holding a
// control character or NUL.
std::string devicePathOf(std::string_view portName);

// The kernel's name of the device behind a port name, a link such as a by-id name resolved:
// "ttyUSB0".
std::string deviceNameOf(std::string_view portName);

// The Windows device path for a port name: "COM3" -> "\\.\COM3" (the form that also reaches
// COM10 and up); a name already in that form stays. Spaces around the name are ignored. Empty
// for an empty name, the prefix alone, or a name holding a slash, a backslash or a control
// character (it must name a device, never a file).
std::string windowsDevicePathOf(std::string_view portName);

} // namespace orvane
