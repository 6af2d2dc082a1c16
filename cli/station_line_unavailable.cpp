// No line in this build: a station's records never go to a line's server here.
#include "cli/station_line.h"

namespace orvane {

struct StationLine::Impl {};

StationLine::StationLine() = default;

StationLine::~StationLine() = default;

bool StationLine::paused() const {
    return false;
}

void StationLine::setJob(std::optional<std::string> /*job*/, std::optional<std::int64_t> /*version*/) {}

std::optional<int> StationLine::start(StationState& /*state*/, const RecordsChoice& /*records*/,
                                      LineHooks /*hooks*/, Console& /*console*/, TextLanguage /*language*/) {
    return std::nullopt;
}

} // namespace orvane
