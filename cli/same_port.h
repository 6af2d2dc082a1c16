// Two jobs on one camera would each take the other's replies: a port given twice, under the
// same name or two names of one device, is refused before anything is sent.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// Why the ports cannot all be taken, or nothing when each is a device of its own.
std::optional<std::string> samePortTwice(const std::vector<std::string>& ports);

} // namespace orvane
