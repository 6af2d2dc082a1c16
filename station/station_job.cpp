#include "station/station_job.h"

namespace orvane {

namespace {

AttemptFacts factsOf(const StationJobSetup& setup, const AttemptPlace& place) {
    AttemptFacts facts{.port = place.port,
                       .imagePath = setup.image->path,
                       .lineSpeed = setup.lineSpeed,
                       .upgradeSpeed = setup.upgradeSpeed,
                       .address = setup.address,
                       .target = setup.settings.target,
                       .lowLatency = setup.settings.lowLatency,
                       .unit = place.unit,
                       .slot = place.slot,
                       .plug = place.plug,
                       .attempt = place.attempt};
    if (place.job) {
        facts.job = place.job->name;
        facts.jobVersion = place.job->version;
    }
    return facts;
}

} // namespace

StationJobSetup setupOfJob(const StationJobSetup& base, const ReleasedJob& job) {
    StationJobSetup setup = base;
    setup.image = &job.image;
    setup.lineSpeed = job.settings.lineSpeed;
    setup.upgradeSpeed = job.settings.upgradeSpeed;
    setup.address = job.settings.address;
    setup.settings.target = job.settings.target;
    setup.settings.lowLatency = job.settings.lowLatency;
    setup.settings.maxResends = job.settings.maxResends;
    return setup;
}

StationJob::StationJob(const StationJobSetup& setup, const AttemptPlace& place, StationState& state,
                       std::unique_ptr<UpgradeLog> front)
    : setup_(place.job ? setupOfJob(setup, *place.job) : setup), release_(place.job),
      front_(std::move(front)),
      inputs_(factsOf(setup_, place), std::span<const std::uint8_t>(setup_.image->bytes)),
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
