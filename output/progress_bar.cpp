#include "output/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvane {

std::string formatRate(double bytesPerSecond) {
    char text[32];
    constexpr double kibi = 1024.0;
    if (bytesPerSecond < kibi) {
        std::snprintf(text, sizeof text, "%.0f B/s", std::max(bytesPerSecond, 0.0));
    } else if (bytesPerSecond < kibi * kibi) {
        std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / kibi);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB/s", bytesPerSecond / (kibi * kibi));
    }
    return text;
}

std::string formatDuration(double seconds) {
    const auto total = static_cast<long long>(std::lround(std::max(seconds, 0.0)));
    const long long hours = total / 3600;
    const long long minutes = (total / 60) % 60;
    const long long secs = total % 60;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, secs);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", minutes, secs);
    }
    return text;
}

std::string formatProgressBar(const ProgressBarState& state, unsigned width) {
    const unsigned percent = std::min(state.percent, 100U);
    const unsigned filled = width * percent / 100;
    std::string line = "[";
    line.append(filled, '#');
    line.append(width - filled, '-');
    char text[96];
    std::snprintf(text, sizeof text, "] %3u%%  %u/%u blocks", percent, state.blocksDone, state.blockCount);
    line += text;
    line += "  ";
    line += state.bytesPerSecond ? formatRate(*state.bytesPerSecond) : std::string("-- B/s");
    line += "  ";
    line += state.secondsLeft ? formatDuration(*state.secondsLeft) : std::string("-:--");
    line += " left";
    return line;
}

} // namespace orvane
