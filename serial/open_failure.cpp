// Technician-readable reasons for a failed port open.
#include "serial/open_failure.h"

#include <cerrno>
#include <cstring>

namespace orvane {

bool isPermissionError(int err) {
    return err == EACCES || err == EPERM;
}

std::string openFailureReason(int err) {
    if (err == 0)
        return "no error";
    if (isPermissionError(err))
        return "permission denied: add your user to the dialout group: "
               "sudo usermod -aG dialout $USER, then log in again";
    switch (err) {
    case EBUSY:
    case EWOULDBLOCK:
        return "the port is in use by another program: close it there first";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "no such device: check the port name and that the adapter is plugged in";
    case ENOTTY:
        return "this device is not a serial port";
    case EIO:
        return "input/output error: the adapter may have been unplugged";
    default: {
        // strerror_r in its GNU form; the buffer only serves unknown numbers.
        char buffer[128] = {};
        return ::strerror_r(err, buffer, sizeof buffer);
    }
    }
}

} // namespace orvane
