// A bare-bones host for driving the virtual camera in tests: opens the device raw, writes
// frames, reads replies with a time limit. Deliberately independent of the product's
// serial layer, so the camera is checked against the line itself.
#pragma once

#include "upgrade/frames.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvane::test {

class PlainHost {
  public:
    PlainHost() = default;
    PlainHost(const PlainHost&) = delete;
    PlainHost& operator=(const PlainHost&) = delete;
    ~PlainHost();

    bool open(const std::string& path, int speed);
    // Closes and opens the same path at another speed, as the upgrade job switches.
    bool reopen(int speed);
    void close();
    // Changes the speed on the open port, BOTHER style (any rate).
    bool setArbitrarySpeed(int speed);

    void write(std::span<const std::uint8_t> bytes);
    template <std::size_t N> void write(const std::array<std::uint8_t, N>& frame) {
        write(std::span<const std::uint8_t>(frame));
    }
    // Reads until count bytes have come or the time is up.
    std::vector<std::uint8_t> read(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::milliseconds{3000});
    // Everything that comes within the time.
    std::vector<std::uint8_t> readFor(std::chrono::milliseconds time);
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    std::string path_;
};

// Bytes of a reply as a vector, for comparisons.
std::vector<std::uint8_t> bytesOf(const ShortFrame& frame);

} // namespace orvane::test
