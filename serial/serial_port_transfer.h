// The serial port's transfer guard, the same on every system: a read or a write holds one for
// its whole life, so that a close waits until the transfer is over.
#pragma once

#include "serial/serial_port.h"

#include <optional>

namespace orvane {

class SerialPort::TransferGuard {
  public:
    explicit TransferGuard(SerialPort& port) : port_(port), channel_(port.beginTransfer()) {}
    ~TransferGuard() {
        if (channel_) {
            port_.endTransfer();
        }
    }
    TransferGuard(const TransferGuard&) = delete;
    TransferGuard& operator=(const TransferGuard&) = delete;
    const std::optional<Channel>& channel() const { return channel_; }

  private:
    SerialPort& port_;
    std::optional<Channel> channel_;
};

} // namespace orvane
