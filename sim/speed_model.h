// Whether host and camera talk at the same line speed. A pseudo-terminal carries bytes
// whatever the speeds, so the camera samples the host's setting and keeps a short history:
// a frame counts as sent at the camera's speed when the two agreed at some moment within
// the grace period before it arrived, or when the host reopened or reconfigured its port
// within that period (a switch may be quicker than the sampling). Otherwise it arrives as
// garbage, as it would on a real line. Pure: samples and times in, judgements out.
#pragma once

#include "sim/host_frame.h"

#include <string>

namespace orvane {

class SpeedModel {
  public:
    SpeedModel(int cameraSpeed, std::chrono::milliseconds grace);

    // The host's current setting (0: unknown, which is never held against it).
    void sampleHost(int hostSpeed, SimTime now);
    // The host opened or closed the device.
    void noteHostActivity(SimTime now);
    void setCameraSpeed(int speed, SimTime now);
    void reset(int cameraSpeed, SimTime now);

    int cameraSpeed() const { return camera_; }
    int hostSpeed() const { return host_; }
    bool agree() const { return host_ == 0 || host_ == camera_; }
    // Whether a frame whose last byte arrived at `at` was readable at the camera's speed.
    bool readable(SimTime at) const;

  private:
    int camera_;
    int host_ = 0;
    std::chrono::milliseconds grace_;
    SimTime lastAgreement_{};
    SimTime lastActivity_{};
};

// A line speed as the camera's notes say it: "115200 bit/s".
std::string speedText(int speed);

} // namespace orvane
