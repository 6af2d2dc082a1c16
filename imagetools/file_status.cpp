// The system's reason for a failed file operation, as text.
#include "imagetools/file_status.h"

#include <cstring>
#include <utility>

namespace orvane {
namespace {

// strerror_r has two forms; each overload handles one of them.
[[maybe_unused]] std::string textOf(const char* text, const char* /*buffer*/) {
    return text;
}
[[maybe_unused]] std::string textOf(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string("unknown error");
}

} // namespace

std::string systemReason(int errorNumber) {
    char buffer[256] = {};
    return textOf(::strerror_r(errorNumber, buffer, sizeof buffer), buffer);
}

FileStatus FileStatus::fromErrno(int errorNumber) {
    return FileStatus{false, errorNumber, systemReason(errorNumber)};
}

FileStatus FileStatus::failure(std::string reason) {
    return FileStatus{false, 0, std::move(reason)};
}

} // namespace orvane
