// What a real boot loader holds its host to, for the virtual camera's strict mode. The figures
// are the camera's own, not taken from the host's code: a host whose pauses change is caught.
//
// Pauses: after its EnterAck the boot loader gets ready and hears nothing for the 500 ms the host
// pauses there; a StartCommand sooner is lost (no answer, the camera still waits for a StartCommand).
// Replies: the camera does not wait for its host. A reply goes out once the host's port is open at
// the camera's speed, but no later than strictLatestReply after its frame, lost if the port is
// closed then, garbage if it listens at another speed; and no sooner than the turnaround of its
// step, since after some frames the host closes and reopens its port.
#pragma once

#include "sim/camera_faults.h"
#include "sim/host_frame.h"

#include <optional>

namespace orvane {

// The pause the host makes before this frame, counted from the camera's last reply (none for
// most frames).
std::optional<std::chrono::milliseconds> hostPauseBefore(HostFrameKind kind);

// The pause a frame that comes this long after the last reply cuts short, if it does. A tenth of
// the pause is allowed for the host's scheduling.
std::optional<std::chrono::milliseconds> pauseCutShort(HostFrameKind kind, SimClock::duration sinceReply);

// The earliest a reply to this step goes out after its frame: after the EnterUpgradeCommand
// (upgrade speed) and the StartCommand (the special target's 115200) the host may be reopening its
// port, and on a real line a reply quicker than that reopen is lost.
std::chrono::milliseconds strictTurnaround(CameraStep step);

inline constexpr std::chrono::milliseconds strictLatestReply{250};

} // namespace orvane
