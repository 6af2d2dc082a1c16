// The progress bar drawn on a terminal while the blocks go out: percent, blocks done,
// bytes per second and time left, redrawn in place with a carriage return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

struct ProgressBarState {
    unsigned percent = 0;
    std::uint32_t blocksDone = 0;
    std::uint32_t blockCount = 0;
    std::optional<double> bytesPerSecond; // unknown until some bytes have been accepted
    std::optional<double> secondsLeft;
};

// One camera's bar as the terminal shows it: "[label] ", the bar, then extra words (a resend).
struct BarRow {
    std::string label;
    ProgressBarState state;
    std::string extra;
};

// One line without line end, for example
// "[##########----------]  50%  16/32 blocks  10.9 KiB/s  0:03 left".
std::string formatProgressBar(const ProgressBarState& state, unsigned width = 30);

// "950 B/s", "10.9 KiB/s", "1.4 MiB/s": binary units, as the station's page gives them.
std::string formatRate(double bytesPerSecond);

// "0:07", "12:34", "1:02:03"; negative values count as 0.
std::string formatDuration(double seconds);

} // namespace orvane
