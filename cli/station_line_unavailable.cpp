// No line in this build: a station's records never go to a line's server here.
#include "cli/station_line.h"

namespace orvane {

struct StationLine::Impl {};

StationLine::StationLine() = default;

StationLine::~StationLine() = default;

std::optional<int> StationLine::start(StationState& /*state*/, const RecordsChoice& /*records*/,
                                      LineHooks /*hooks*/, Console& /*console*/, TextLanguage /*language*/) {
    return std::nullopt;
}

bool StationLine::paused() const {
    return false;
}

} // namespace orvane
