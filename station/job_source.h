// Where a station's job comes from when the line releases it (`station --job`): the image and
// every setting of one released version, and what the line says of the job now. The station
// asks between attempts, never during one.
#pragma once

#include "imagetools/firmware_image.h"
#include "upgrade/frames.h"

#include <cstdint>
#include <memory>
#include <string>

namespace orvane {

// What a release fixes besides the bytes.
struct JobSettings {
    UpgradeTarget target = UpgradeTarget::MainBoard;
    int address = 1;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    bool lowLatency = false;
    std::uint32_t maxResends = 20;
};

// One version of a job, its bytes verified against the SHA-256 it was released with.
// image.path is the name the image was released under.
struct ReleasedJob {
    std::string name;
    std::int64_t version = 0;
    FirmwareImage image;
    JobSettings settings;
};

// What the line says of the job at one look.
struct JobLook {
    enum class Kind : std::uint8_t {
        Released,   // job: the version to take (the latest, or the pinned one)
        Retired,    // no new attempt until a release brings it back
        Unanswered, // the line's server does not answer: reason
        Refused     // the version there could not be taken (its bytes do not match): reason
    };
    Kind kind = Kind::Unanswered;
    std::shared_ptr<const ReleasedJob> job{};
    std::string reason{};
};

class JobSource {
  public:
    virtual ~JobSource() = default;
    // Cheap when nothing changed: called between attempts, several times a second.
    virtual JobLook look() = 0;
};

} // namespace orvane
