// A pseudo-terminal pair owned by the virtual camera: the camera works the master side, a
// host opens the slave path as if it were a serial port. Closing the master is what a host
// sees when a USB adapter is pulled: a hang-up.
#pragma once

#include <string>

namespace orvane {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    PseudoTerminal(PseudoTerminal&& other) noexcept;
    PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
    ~PseudoTerminal();

    // Creates a new pair in raw mode at the given speed. On failure answers false and says
    // why in error; the object stays closed.
    bool open(int initialSpeed, std::string& error);
    void close();

    bool isOpen() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // The line speed the host has set on its side, in bits per second (0 if unknown).
    int hostSpeed() const;
    // Drops what the camera wrote and the host has not read, as a port loses it when closed
    // (the camera's own hold on the slave keeps it otherwise). Answers how many bytes that was.
    int discardUnread();

  private:
    int master_ = -1;
    // The camera keeps the slave open too, so the line stays up (and keeps the host's
    // settings) while the host closes and reopens its port between steps.
    int slaveKeeper_ = -1;
    std::string slavePath_;
};

} // namespace orvane
