#include "serial/prompt_read_win32.h"

#include <algorithm>
#include <optional>

namespace orvane::port_backend {
namespace {

using namespace std::chrono_literals;

// How often the queue is looked at where the driver cannot wait for a character.
constexpr auto queuePollInterval = 1ms;
// The longest a driver takes to finish a wait that was ended (and to raise its event).
constexpr auto waitEndLimit = 100ms;
// A read of bytes already queued should end at once; this bounds one that would not.
constexpr auto queuedReadLimit = readIntervalTimeout + 100ms;

enum class Waited { character, woken, timedOut, cannotWait, failed };

// Bytes the driver holds for reading (its line errors cleared on the way); nothing when it
// will not tell, with error set.
std::optional<DWORD> queuedInput(HANDLE device, DWORD& error) {
    DWORD lineErrors = 0;
    COMSTAT status{};
    if (!ClearCommError(device, &lineErrors, &status)) {
        error = GetLastError();
        return std::nullopt;
    }
    return status.cbInQue;
}

// Ends a wait still pending and lets it finish, so the driver writes into nothing of ours
// afterwards. A new mask ends a wait on every driver; the cancel is for one that ignores it.
void endWait(HANDLE device, OVERLAPPED& overlapped) {
    (void)SetCommMask(device, EV_RXCHAR);
    (void)CancelIoEx(device, &overlapped);
    DWORD ignored = 0;
    (void)GetOverlappedResult(device, &overlapped, &ignored, TRUE);
    (void)WaitForSingleObject(overlapped.hEvent, millisecondsOf(waitEndLimit));
}

// One WaitCommEvent for EV_RXCHAR, ended early by wake or by the deadline.
Waited waitForCharacter(HANDLE device, HANDLE wake, const Deadline& total, DWORD& error) {
    TransferEvent event;
    if (event.get() == nullptr) {
        return Waited::cannotWait;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD events = 0;
    if (!WaitCommEvent(device, &events, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return Waited::cannotWait; // no mask set, or a wait of another thread's pending
        }
        const HANDLE waits[2] = {wake, event.get()};
        const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, millisecondsOf(total.remaining()));
        if (waited != WAIT_OBJECT_0 + 1) {
            endWait(device, overlapped);
            return waited == WAIT_OBJECT_0 ? Waited::woken : Waited::timedOut;
        }
        DWORD ignored = 0;
        if (!GetOverlappedResult(device, &overlapped, &ignored, TRUE)) {
            error = GetLastError();
            return isDeviceGoneError(error) ? Waited::failed : Waited::cannotWait;
        }
    }
    // A wait that ended with no event was ended by the driver: it cannot wait for us.
    return (events & EV_RXCHAR) != 0 ? Waited::character : Waited::cannotWait;
}

// Sleeps a poll interval, or less when the deadline is nearer; false once wake is raised.
bool pauseUnlessWoken(HANDLE wake, const Deadline& total) {
    const auto pause = std::min<TransferClock::duration>(queuePollInterval, total.remaining());
    return WaitForSingleObject(wake, millisecondsOf(pause)) != WAIT_OBJECT_0;
}

TransferResult readUpTo(HANDLE device, HANDLE wake, std::span<std::uint8_t> buffer, DWORD count,
                        TransferClock::duration limit) {
    count = static_cast<DWORD>(std::min<std::size_t>(count, buffer.size()));
    return runTransfer(device, wake, limit, [&](OVERLAPPED* overlapped) {
        return ReadFile(device, buffer.data(), count, nullptr, overlapped) != 0;
    });
}

} // namespace

void preparePromptReads(HANDLE device) {
    (void)SetCommMask(device, EV_RXCHAR);
}

TransferResult readPromptly(HANDLE device, HANDLE wake, std::span<std::uint8_t> buffer, Deadline total) {
    bool driverWaits = true;
    while (true) {
        DWORD error = ERROR_SUCCESS;
        const std::optional<DWORD> queued = queuedInput(device, error);
        if (!queued && isDeviceGoneError(error)) {
            return {0, error};
        }
        if (!queued) {
            // A driver that keeps its queue to itself is read as in the standard mode.
            return readUpTo(device, wake, buffer, static_cast<DWORD>(buffer.size()),
                            total.remaining() + queuedReadLimit);
        }
        if (*queued > 0) {
            return readUpTo(device, wake, buffer, *queued, queuedReadLimit);
        }
        if (total.passed() || WaitForSingleObject(wake, 0) == WAIT_OBJECT_0) {
            return {};
        }
        const Waited waited = driverWaits ? waitForCharacter(device, wake, total, error) : Waited::cannotWait;
        switch (waited) {
        case Waited::woken:
            return {};
        case Waited::failed:
            return {0, error};
        case Waited::cannotWait:
            driverWaits = false;
            if (!pauseUnlessWoken(wake, total)) {
                return {};
            }
            break;
        case Waited::character:
        case Waited::timedOut:
            break; // the queue is looked at again, the deadline after it
        }
    }
}

} // namespace orvane::port_backend
