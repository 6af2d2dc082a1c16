// How the file tools report a failure: a flag, the system's error number where the system
// refused, and a reason a technician can act on. Callers add the path.
#pragma once

#include <string>

namespace orvane {

struct FileStatus {
    bool ok = true;
    int errorNumber = 0; // errno when the system refused, else 0
    std::string reason;  // empty when ok

    static FileStatus success() { return {}; }
    // The system's text for errorNumber ("No such file or directory").
    static FileStatus fromErrno(int errorNumber);
    // A failure the system did not report itself (a file that changed while it was read).
    static FileStatus failure(std::string reason);
};

} // namespace orvane
