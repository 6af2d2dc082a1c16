// Record ids: random (version 4) UUIDs, so stations that never talk to each other still
// give ids that do not clash in a line's shared database.
#pragma once

#include <string>

namespace orvane {

// "1b4e28ba-2fa1-41d2-883f-0016d3cca427": lower-case, 36 characters.
std::string newRecordId();

} // namespace orvane
