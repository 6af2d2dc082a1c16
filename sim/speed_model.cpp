// The line-speed agreement between host and camera; see speed_model.h.
#include "sim/speed_model.h"

namespace orvane {

std::string speedText(int speed) {
    return std::to_string(speed) + " bit/s";
}

SpeedModel::SpeedModel(int cameraSpeed, std::chrono::milliseconds grace)
    : camera_(cameraSpeed), grace_(grace) {}

void SpeedModel::sampleHost(int hostSpeed, SimTime now) {
    if (hostSpeed != host_) {
        lastActivity_ = now;
    }
    host_ = hostSpeed;
    if (agree()) {
        lastAgreement_ = now;
    }
}

void SpeedModel::noteHostActivity(SimTime now) {
    lastActivity_ = now;
}

void SpeedModel::setCameraSpeed(int speed, SimTime now) {
    if (agree()) {
        lastAgreement_ = now; // they agreed up to this moment
    }
    camera_ = speed;
    if (agree()) {
        lastAgreement_ = now;
    }
}

void SpeedModel::reset(int cameraSpeed, SimTime now) {
    camera_ = cameraSpeed;
    host_ = 0;
    lastAgreement_ = now;
    lastActivity_ = now;
}

bool SpeedModel::readable(SimTime at) const {
    if (agree()) {
        return true;
    }
    return at - lastAgreement_ <= grace_ || at - lastActivity_ <= grace_;
}

} // namespace orvane
