// The order in which port lists show their names, on every system: runs of digits compare by
// their value, so "ttyS2" comes before "ttyS10" and COM9 before COM10.
#pragma once

#include <string_view>

namespace orvane {

// Names that differ only in leading zeros fall back to plain byte order.
bool naturalLess(std::string_view a, std::string_view b);

} // namespace orvane
