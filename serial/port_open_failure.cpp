#include "serial/port_open_failure.h"

#include "serial/port_holder.h"
#include "serial/port_name.h"
#include "text/failure_messages.h"

#include <cerrno>

namespace orvane {

std::string openFailureMessage(std::string_view port, int err, TextLanguage language) {
    std::string holderHint;
    if (err == EBUSY || err == EWOULDBLOCK) {
        if (const auto holder = findPortHolder(devicePathOf(port))) {
            holderHint = busyPortHint(*holder);
        }
    }
    return portOpenFailed(port, err, language, holderHint);
}

} // namespace orvane
