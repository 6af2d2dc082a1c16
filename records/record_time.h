// Moments as a technician types and reads them: ISO 8601 dates and date-times, in UTC (Z or
// an offset) or in this machine's time zone, to and from the milliseconds records keep.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// "2026-12-09", "2026-12-09T14:41", "2026-12-09 14:41:08.250", each with Z, +01:00 or
// +0100 for UTC or an offset, else local time. A date alone is the start of that day, or the
// start of the next one when it ends a range (--until 2026-12-09 takes all of the 9th).
// Empty for anything else, an impossible date or time included.
std::optional<std::int64_t> parseMoment(std::string_view text, bool endOfRange = false);

// "2026-12-09T14:41:08+01:00" in this machine's time zone, or "2026-12-09T13:41:08Z" in UTC.
std::string isoMoment(std::int64_t milliseconds, bool utc);

} // namespace orvane
