// A shift's yield as every front end gives it: one decimal and " %" ("75.0 %"), and before
// anything was counted "–" for a person and null in JSON, never a yield of 0.
#pragma once

#include "output/json_line.h"
#include "station/station_state.h"

#include <string>

namespace orvane {

// "75.0 %", or "–" before the first camera is counted.
std::string yieldText(const Tally& tally);
// The percent to a tenth, or null before the first camera is counted.
JsonFields yieldJson(const Tally& tally);

} // namespace orvane
