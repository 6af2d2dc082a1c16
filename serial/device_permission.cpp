#include "serial/device_permission.h"

namespace orvane {

PermissionAdvice permissionAdviceFor(const DevicePermission& device) {
    if (!device.groupMayUse || device.ownerIsUser) {
        // The owner's own bits apply to the owner, whatever the group may do.
        return PermissionAdvice::OwnerOnly;
    }
    return device.memberAfterLogin && !device.memberNow ? PermissionAdvice::LogInAgain
                                                        : PermissionAdvice::JoinGroup;
}

} // namespace orvane
