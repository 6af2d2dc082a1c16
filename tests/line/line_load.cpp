#include "line_load.h"

#include "dashboard/station_json.h"
#include "line/station_row.h"

#include <unistd.h>

namespace orvane::test {
namespace {

constexpr std::chrono::seconds staleAfter{15};

StationRow rowOf(const std::string& station, const std::string& state) {
    return {station, "load", getpid(), std::nullopt, std::nullopt, std::string(64, 'a'), state};
}

} // namespace

bool LineLoad::connected() {
    std::string why;
    return line_.connect(why);
}

bool LineLoad::exec(const std::string& sql) {
    return connected() && line_.run(sql).ok();
}

bool LineLoad::publish(const std::string& station, const StationSnapshot& now) {
    if (!connected()) {
        return false;
    }
    const bool starting = !states_.contains(station);
    std::string& state = states_[station];
    state = jsonLine(stationJson(now));
    return writeStationRow(line_, rowOf(station, state), staleAfter, starting) == RowWrite::written;
}

bool LineLoad::stop(const std::string& station) {
    return connected() && stopStationRow(line_, rowOf(station, states_[station]));
}

StationSnapshot loadStation(std::size_t slots) {
    StationSnapshot station;
    station.imageName = "camera.bin";
    station.imageSha256 = std::string(64, 'a');
    for (std::size_t i = 1; i <= slots; ++i) {
        SlotSnapshot slot;
        slot.name = "s" + std::to_string(i);
        slot.port = "/dev/pts/" + std::to_string(i);
        slot.present = true;
        station.slots.push_back(slot);
    }
    return station;
}

} // namespace orvane::test
