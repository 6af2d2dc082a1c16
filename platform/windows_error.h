// The system's error codes on Windows as the rest of the program reads them: the errno value
// where one means the same (so the technician's hints for a missing, busy or forbidden device
// are shared with Linux), else windowsErrorBase + the code, which systemErrorText explains.
#pragma once

namespace orvane {

// For files: ERROR_ACCESS_DENIED is EACCES.
int errnoOfWindowsError(unsigned long code);

// For serial ports: a port that another program holds answers "access denied" (or a sharing
// violation), so both are EBUSY; gone devices are ENODEV.
int errnoOfWindowsPortError(unsigned long code);

} // namespace orvane
