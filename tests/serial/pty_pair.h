// A pseudo-terminal pair for the serial tests: the port under test opens the slave by its
// path, the test plays the camera on the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::test {

class PtyPair {
  public:
    PtyPair(); // fails the current test (and leaves master() at -1) when no pty is available
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    void writeMaster(const std::vector<std::uint8_t>& bytes) const;
    // Reads from the master until count bytes have come or timeout has passed.
    std::vector<std::uint8_t> readMaster(std::size_t count, std::chrono::milliseconds timeout) const;
    // The far end goes away, as when a USB adapter is pulled.
    void closeMaster();

  private:
    int master_ = -1;
    std::string slavePath_;
};

// Every byte value once, 0x00 to 0xFF.
std::vector<std::uint8_t> allByteValues();

} // namespace orvane::test
