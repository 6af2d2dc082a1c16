// The system's words for an error number. One function for every caller (the port, the file
// tools, the virtual camera, the command line), portable and safe from any thread.
#pragma once

#include <string>

namespace orvane {

// On Windows an error code of the system's own that has no errno counterpart travels as this
// base plus the code, so one int carries either kind (see windows_error.h).
inline constexpr int windowsErrorBase = 0x10000000;

// "No such file or directory" for ENOENT; "the system gave no reason" for 0, so a message
// built around it never ends in "Success".
// On Windows a value from windowsErrorBase up gives the system's own message for its code.
std::string systemErrorText(int errorNumber);

} // namespace orvane
