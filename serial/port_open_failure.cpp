#include "serial/port_open_failure.h"

#include "serial/device_permission.h"
#include "serial/port_holder.h"
#include "serial/port_name.h"
#include "text/failure_messages.h"

#include <cerrno>

namespace orvane {

std::string openFailureMessage(std::string_view port, int err, TextLanguage language) {
    if (isPermissionError(err)) {
        if (const auto device = devicePermissionOf(devicePathOf(port))) {
            return portPermissionDenied(port, permissionAdviceFor(*device), device->ownership, language);
        }
    }
    std::string holderHint;
    if (err == EBUSY || err == EWOULDBLOCK) {
        if (const auto holder = findPortHolder(devicePathOf(port))) {
            holderHint = busyPortHint(*holder);
        }
    }
    return portOpenFailed(port, err, language, holderHint);
}

} // namespace orvane
