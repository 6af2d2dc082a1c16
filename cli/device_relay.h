// `simulate --device PATH`: the virtual camera answers on a terminal device that already
// exists (the gadget end of a USB serial link, /dev/ttyGS0) instead of on a pseudo-terminal
// that a host opens. The camera keeps its own pseudo-terminal; the relay copies bytes both
// ways between it and the device. A device that hangs up (its cable pulled) is opened again
// once it is back, as a camera on a cable would be.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace orvane {

class DeviceRelay {
  public:
    // note: called on the relay's thread when the device goes away or comes back.
    explicit DeviceRelay(std::function<void(const std::string&)> note) : note_(std::move(note)) {}
    DeviceRelay(const DeviceRelay&) = delete;
    DeviceRelay& operator=(const DeviceRelay&) = delete;
    ~DeviceRelay();

    // Opens both ends and starts the relay. false: error says why.
    bool start(const std::string& device, const std::string& camera, std::string& error);
    void stop();

  private:
    void run();
    bool reopenDevice();

    std::function<void(const std::string&)> note_;
    std::string devicePath_;
    int device_ = -1;
    int camera_ = -1;
    int wake_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace orvane
