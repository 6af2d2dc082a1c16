#include "station/station_job.h"

namespace orvane {

StationJob::StationJob(const StationJobSetup& setup, const AttemptPlace& place, StationState& state,
                       std::unique_ptr<UpgradeLog> front)
    : setup_(setup), front_(std::move(front)), inputs_(AttemptFacts{.port = place.port,
                                                                    .imagePath = setup.image->path,
                                                                    .lineSpeed = setup.lineSpeed,
                                                                    .upgradeSpeed = setup.upgradeSpeed,
                                                                    .address = setup.address,
                                                                    .target = setup.settings.target,
                                                                    .lowLatency = setup.settings.lowLatency,
                                                                    .unit = place.unit,
                                                                    .slot = place.slot,
                                                                    .plug = place.plug,
                                                                    .attempt = place.attempt},
                                                       std::span<const std::uint8_t>(setup.image->bytes)),
      tap_(front_.get(), state, place.slot), job_(inputs_, tap_) {}

void StationJob::start() {
    CameraJobSetup camera{.settings = setup_.settings,
                          .facts = inputs_.facts(),
                          .records = setup_.records,
                          .recordsRequired = setup_.recordsRequired};
    if (setup_.recordTrouble) {
        camera.recordTrouble = [port = inputs_.facts().port, tell = setup_.recordTrouble](
                                   const RecordTroubleNote& note) { tell(port, note); };
    }
    job_.start(camera);
}

} // namespace orvane
