// The serial ports the system offers, for the dialog's port list and the command line's
// "ports" listing. Read from sysfs, whose root is a parameter so tests can use a fake tree.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

inline constexpr std::size_t maxPortNames = 256;
inline const std::filesystem::path defaultTtyClassRoot = "/sys/class/tty";

// Fills names with the serial ports under sysfsRoot and answers how many (0 to 256), or -1
// when sysfsRoot cannot be read; names is then left as it was.
//
// A port is an entry <root>/<name> that has a "device" (virtual consoles, ptmx and the like
// have none). "ttyS" entries are the slots of the on-board UART driver, which registers them
// whether or not a UART answers there; one is listed only when its "type" attribute reads a
// number other than 0 (0 is the kernel's "unknown port": no UART found). Names are as the
// user sees and types them, bare device names such as "ttyUSB0" (sysfs's "!" stands for a
// "/" of the device path), so devicePathOf(name) is "/dev/" + name. They come in natural order
// (ttyS2 before ttyS10); of more than 256 ports the first 256 in that order are kept.
int gatherPortNames(std::vector<std::string>& names,
                    const std::filesystem::path& sysfsRoot = defaultTtyClassRoot);

} // namespace orvane
