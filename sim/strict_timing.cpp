#include "sim/strict_timing.h"

namespace orvane {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds afterEnterAck{500};
constexpr milliseconds reopenTurnaround{50};

} // namespace

std::optional<milliseconds> hostPauseBefore(HostFrameKind kind) {
    if (kind == HostFrameKind::Start) {
        return afterEnterAck;
    }
    return std::nullopt;
}

std::optional<milliseconds> pauseCutShort(HostFrameKind kind, SimClock::duration sinceReply) {
    const auto pause = hostPauseBefore(kind);
    if (!pause || sinceReply * 10 >= *pause * 9) {
        return std::nullopt;
    }
    return pause;
}

milliseconds strictTurnaround(CameraStep step) {
    return step == CameraStep::Enter || step == CameraStep::Start ? reopenTurnaround : milliseconds{0};
}

} // namespace orvane
