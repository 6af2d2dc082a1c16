// A yield as every front end gives it: one decimal and " %" ("75.0 %"), and before anything was
// counted "–" for a person and null in JSON, never a yield of 0.
#pragma once

#include "output/json_line.h"

#include <optional>
#include <string>

namespace orvane {

// share: 0 to 1, none before anything was counted.
std::string yieldText(std::optional<double> share);
// The percent to a tenth, or null.
JsonFields yieldPercentJson(std::optional<double> share);

} // namespace orvane
