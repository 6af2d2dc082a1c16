// Reads that end as soon as bytes are there (ReadMode::LowLatency) on Win32. The driver's own
// time-out form for this (interval and multiplier MAXDWORD) is not honoured everywhere: Wine
// waits out the whole total limit. So the port waits for EV_RXCHAR itself and then reads what
// ClearCommError says is queued, which serial.sys, the USB adapters' drivers and Wine answer
// alike; such a read never waits on the time-outs, whichever are set.
#pragma once

#include "serial/overlapped_win32.h"
#include "serial/port_timing.h"

#include <windows.h>

#include <cstdint>
#include <span>

namespace orvane::port_backend {

// The event mask the reads wait on; set once at the open. A port without it is still read
// promptly, by looking at its queue every millisecond or so.
void preparePromptReads(HANDLE device);

// Waits until bytes are queued, wake is raised or total passes, then reads up to
// buffer.size() of the queued bytes. A driver that cannot wait for EV_RXCHAR (Wine on a
// pseudo-terminal ends every wait at once) has its queue looked at instead; one that does not
// tell its queue is read by its time-outs, as in the standard mode.
TransferResult readPromptly(HANDLE device, HANDLE wake, std::span<std::uint8_t> buffer, Deadline total);

} // namespace orvane::port_backend
