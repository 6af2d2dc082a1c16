// Where a station's unit labels come from (--scan): a scanner that types like a keyboard on
// standard input, or one that is a serial device of its own. Readers feed bytes as they come
// on their own thread; the station takes whole lines on its own.
#pragma once

#include <cstddef>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace orvane {

class LabelSource {
  public:
    virtual ~LabelSource() = default;
    // The lines read since the last call, oldest first, without their line ends.
    virtual std::vector<std::string> takeLines() = 0;
};

// Bytes cut into lines: CR, LF or CR LF ends one (scanners send any of them), and an empty
// line is none. A line longer than maxBytes keeps its first maxBytes (cut between two
// characters), enough to be refused as too long, while the rest up to its end is let go.
class ScanLines final : public LabelSource {
  public:
    static constexpr std::size_t maxBytes = 1024;

    void feed(std::span<const char> bytes);
    std::vector<std::string> takeLines() override;

  private:
    void endLine();

    std::mutex mutex_;
    std::string partial_;
    bool overlong_ = false;
    std::vector<std::string> lines_;
};

} // namespace orvane
