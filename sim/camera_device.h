// The camera's device as a host finds it: a pseudo-terminal that can vanish (the host sees a
// hang-up, as when a USB adapter is pulled) and come back as a new one, and the symbolic link
// that follows it. The link is only ever made where nothing is, and only ever removed while
// it is still the one this device made, so two simulators never take each other's link.
#pragma once

#include "sim/pseudo_terminal.h"

#include <string>

namespace orvane {

// What the host did with the device since the last look.
struct HostActivity {
    bool seen = false;   // opened or closed it
    bool closed = false; // closed it at least once
};

class CameraDevice {
  public:
    // linkPath empty: no link.
    explicit CameraDevice(std::string linkPath);
    CameraDevice(const CameraDevice&) = delete;
    CameraDevice& operator=(const CameraDevice&) = delete;
    ~CameraDevice();

    // A new pseudo-terminal at the speed, with the link pointed at it. false: error says why
    // (and the device stays away).
    bool appear(int speed, std::string& error);
    // Closes the device and removes the link.
    void vanish();
    // vanish(), and lets go of everything.
    void shutDown();

    bool present() const { return pty_.isOpen(); }
    int fd() const { return pty_.masterFd(); }
    const std::string& path() const { return pty_.slavePath(); }
    int hostSpeed() const { return pty_.hostSpeed(); }
    // Readable when the host has opened or closed the device (-1 before the first appear).
    int activityFd() const { return notifyFd_; }
    HostActivity takeHostActivity();
    // Whether the host holds the device open, as of the last takeHostActivity (true when the
    // system cannot tell).
    bool hostOpen() const { return notifyFd_ < 0 || watch_ < 0 || hostOpens_ > 0; }
    int discardUnread() { return pty_.discardUnread(); }

  private:
    bool clearStaleLink(std::string& error);
    bool makeLink(std::string& error);
    void removeLink();

    std::string linkPath_;
    std::string linkedTo_; // the device our link points at; empty while we have none
    PseudoTerminal pty_;
    int notifyFd_ = -1;
    int watch_ = -1;
    int hostOpens_ = 0; // opens less closes of the device by others than the camera
};

} // namespace orvane
