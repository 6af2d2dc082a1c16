// The records the station's page lists (/api/records): the same fields as the command line's
// "record" events, the newest first, as one JSON array.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace orvane {

// From the store place names (as --records takes it; "none" lists nothing), at most limit,
// started at or after since when it is given; empty when since is not a moment.
std::optional<std::string> recordsJson(const std::string& place, const std::string& since, std::size_t limit);

} // namespace orvane
