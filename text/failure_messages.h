// Every port and file failure a technician reads, built in one place for the job, the dialog
// and the command line alike, in the language the caller asks for. The system's error number
// is turned into what to do about it: join dialout, close the other program, plug it in.
#pragma once

#include "text/text_language.h"

#include <string>
#include <string_view>

namespace orvane {

// Whether err means the user may not use the device (EACCES, EPERM): on Debian the fix is
// membership of the dialout group.
bool isPermissionError(int err);

// Why a port would not open or close, one line without a full stop, for example
//   EACCES -> "permission denied: add your user to the dialout group: sudo usermod -aG dialout
//              $USER, then log in again"
//   EBUSY  -> "the port is in use by another program: close it there first"
//   ENOENT -> "no such device: check the port name and that the adapter is plugged in"
//   ENOTSUP -> "the port's driver refused the line settings: choose a speed ..."
// Other values give the system's own text; 0 gives "no error".
std::string portFailureReason(int err, TextLanguage language);

// "Cannot open serial port ttyUSB0: <reason>"; a permission error explains the dialout group.
// busyHint, when given, stands for the reason of a busy port (it names the holder).
std::string portOpenFailed(std::string_view port, int err, TextLanguage language,
                           std::string_view busyHint = {});
// What a refused open of a device node calls for, as its owner, group and mode tell.
enum class PermissionAdvice {
    JoinGroup,  // the group may use it and the user is not in it
    LogInAgain, // the user was added to the group, but this login session predates it
    OwnerOnly,  // only the owner may: no group membership helps
};
struct DeviceOwnership {
    std::string owner; // user name, or the number when it has none
    std::string group;
    std::string mode; // octal permission bits, "0600"
};
// "Cannot open serial port ttyUSB0: permission denied. ..." with the advice that fits.
std::string portPermissionDenied(std::string_view port, PermissionAdvice advice,
                                 const DeviceOwnership& device, TextLanguage language);
// "Cannot close serial port: <reason>".
std::string portCloseFailed(int err, TextLanguage language);

// "Cannot read <path>: <reason>" and "Cannot write <path>: <reason>".
std::string fileUnreadable(std::string_view path, std::string_view reason, TextLanguage language);
std::string fileUnwritable(std::string_view path, std::string_view reason, TextLanguage language);

} // namespace orvane
