// The system's words for an error number. One function for every caller (the port, the file
// tools, the virtual camera, the command line), portable and safe from any thread.
#pragma once

#include <string>

namespace orvane {

// "No such file or directory" for ENOENT; "the system gave no reason" for 0, so a message
// built around it never ends in "Success".
std::string systemErrorText(int errorNumber);

} // namespace orvane
