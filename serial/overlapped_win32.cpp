#include "serial/overlapped_win32.h"

namespace orvane::port_backend {

DWORD millisecondsOf(TransferClock::duration duration) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    if (ms <= 0) {
        return 0;
    }
    return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
}

bool isDeviceGoneError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_GEN_FAILURE || error == ERROR_DEV_NOT_EXIST || error == ERROR_INVALID_HANDLE;
}

} // namespace orvane::port_backend
