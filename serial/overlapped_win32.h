// Overlapped I/O on the port, shared by its reads and writes: an event per operation, a wait
// that a close's wake ends at once, and the errors that mean the adapter has gone.
#pragma once

#include "serial/port_timing.h"

#include <windows.h>

namespace orvane::port_backend {

// Milliseconds for a Win32 wait, rounded up, never INFINITE.
DWORD millisecondsOf(TransferClock::duration duration);

// What a transfer sees when a USB adapter has been pulled out.
bool isDeviceGoneError(DWORD error);

// A manual-reset event per operation: reads and writes on other threads have their own.
class TransferEvent {
  public:
    TransferEvent() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~TransferEvent() {
        if (event_ != nullptr) {
            CloseHandle(event_);
        }
    }
    TransferEvent(const TransferEvent&) = delete;
    TransferEvent& operator=(const TransferEvent&) = delete;
    HANDLE get() const { return event_; }

  private:
    HANDLE event_;
};

struct TransferResult {
    DWORD count = 0;
    DWORD error = ERROR_SUCCESS; // of a transfer that failed by itself (not cancelled by us)
    bool gone() const { return error != ERROR_SUCCESS && isDeviceGoneError(error); }
};

// Starts ReadFile or WriteFile through start(overlapped) and waits for it, for the wake event
// or for the limit; a transfer still running then is cancelled and answers what it had moved.
template <typename Start>
TransferResult runTransfer(HANDLE device, HANDLE wake, TransferClock::duration limit, Start start) {
    TransferEvent event;
    if (event.get() == nullptr) {
        return {0, GetLastError()};
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    if (!start(&overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return {0, error};
        }
        const HANDLE waits[2] = {wake, event.get()};
        const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, millisecondsOf(limit));
        if (waited != WAIT_OBJECT_0 + 1) {
            CancelIoEx(device, &overlapped);
        }
    }
    TransferResult result;
    if (!GetOverlappedResult(device, &overlapped, &result.count, TRUE)) {
        const DWORD error = GetLastError();
        result.error = error == ERROR_OPERATION_ABORTED ? ERROR_SUCCESS : error;
    }
    return result;
}

} // namespace orvane::port_backend
