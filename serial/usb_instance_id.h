// The USB serial number in a Windows device instance id, where the id carries one: the device
// setup API names a device by its bus, its ids and, when the device reports a serial number,
// that number; otherwise by a number Windows made up, which says nothing of the device.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// "USB\VID_0403&PID_6001\A50285BI" and FTDI's "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000" (the
// chip's serial with the letter of its channel) -> "A50285BI"; an id Windows made up ("...\5&2c3d0b5&0&2")
// or of another bus -> nothing.
std::optional<std::string> usbSerialOfInstanceId(std::string_view instanceId);

} // namespace orvane
