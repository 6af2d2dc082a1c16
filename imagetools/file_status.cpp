// The system's reason for a failed file operation, as text.
#include "imagetools/file_status.h"

#include "platform/error_text.h"

#include <utility>

namespace orvane {

FileStatus FileStatus::fromErrno(int errorNumber) {
    return FileStatus{false, errorNumber, systemErrorText(errorNumber)};
}

FileStatus FileStatus::failure(std::string reason) {
    return FileStatus{false, 0, std::move(reason)};
}

} // namespace orvane
