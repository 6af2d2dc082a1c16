// Who may open a device node, as its owner, group and mode tell, so that a refused open is
// answered with the remedy that works: joining the node's own group, logging in again after
// joining it, or nothing a group can do (a node only its owner may use).
#pragma once

#include "text/failure_messages.h"

#include <optional>
#include <string>

namespace orvane {

struct DevicePermission {
    DeviceOwnership ownership;
    bool ownerIsUser = false;      // this process runs as the node's owner
    bool groupMayUse = false;      // the group has read and write
    bool memberNow = false;        // this process is in the node's group
    bool memberAfterLogin = false; // the user database lists the user in it
};

// The facts of path's node for this process; nothing where the system has no such modes
// (Windows) or the node cannot be looked at.
std::optional<DevicePermission> devicePermissionOf(const std::string& path);

// The advice for a refused open. Owner-only unless a group could help.
PermissionAdvice permissionAdviceFor(const DevicePermission& device);

} // namespace orvane
