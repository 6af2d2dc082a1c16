// What a technician needs to pick the right port and to see why it will not open: the driver,
// the USB adapter's identity, the stable /dev/serial/by-id name, whether this user may open it
// and which program holds it. Read from sysfs, /dev and /proc; their roots are parameters so
// tests can use fake trees.
#pragma once

#include "serial/port_holder.h"
#include "serial/port_list.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct PortRoots {
    std::filesystem::path ttyClass = defaultTtyClassRoot;
    std::filesystem::path dev = "/dev";
    // Empty: the holder is not looked for (it reads every process's descriptors).
    std::filesystem::path proc = "/proc";
};

// Whose access is judged: the process's own, or one a test makes up (tests run as root).
struct UserIdentity {
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::vector<std::uint32_t> groups; // supplementary groups
    static UserIdentity ofProcess();
};

// Access values besides an error text.
inline constexpr std::string_view portAccessOk = "ok";
inline constexpr std::string_view portAccessNeedsDialout = "needs-dialout";

struct PortDetails {
    std::string name;                  // as asked for
    std::string path;                  // the device node
    std::optional<std::string> byId;   // /dev/serial/by-id/... link to the same node
    std::optional<std::string> driver; // ftdi_sio, ch341, cp210x, pl2303, cdc_acm, 8250 ...
    std::optional<std::string> vid;    // USB only: 4 lowercase hex digits, as sysfs gives them
    std::optional<std::string> pid;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> serial;
    std::optional<int> latencyTimerMs; // FTDI only
    // "ok", "needs-dialout" (group-accessible, user not in the group), or why not:
    // "no such device", "permission denied", the system's text.
    std::string access;
    std::optional<PortHolder> holder; // the first of holders
    std::vector<PortHolder> holders;  // every program holding the port open
};

// Details of one port. name is a port name as devicePathOf takes it (ttyUSB0, COM1, a path,
// a by-id link). The access is judged from the node's owner, group and mode against user;
// the node is never opened (an open raises DTR, which resets some devices). Missing facts are
// left empty; nothing here fails.
PortDetails describePort(std::string_view name, const PortRoots& roots = {},
                         const UserIdentity& user = UserIdentity::ofProcess());

// A few words for a port list: the USB product, else the driver, else empty.
std::string portDescription(const PortDetails& details);

} // namespace orvane
