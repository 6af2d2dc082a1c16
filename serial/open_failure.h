// Turns the system's reason for a failed open (SerialLink::lastError) into words a technician
// can act on. The integer answers of openPort stay 1 or 0; front ends ask here for the why.
#pragma once

#include <string>

namespace orvane {

// Whether err means the user may not use the device (EACCES, EPERM): on Debian the fix is
// membership of the dialout group.
bool isPermissionError(int err);

// One line, English, without a trailing full stop, for example
//   EACCES -> "permission denied: add your user to the dialout group: sudo usermod -aG dialout
//              $USER, then log in again"
//   EBUSY  -> "the port is in use by another program: close it there first"
//   ENOENT -> "no such device: check the port name and that the adapter is plugged in"
// Other values give the system's own text (strerror). 0 gives "no error".
std::string openFailureReason(int err);

} // namespace orvane
