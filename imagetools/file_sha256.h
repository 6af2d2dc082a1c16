// The SHA-256 of a file as sha256sum gives it, read in pieces so a large image is not held
// twice.
#pragma once

#include "imagetools/file_status.h"

#include <optional>
#include <string>

namespace orvane {

// Lower-case hexadecimal digest of the file at path; nothing, with status saying why, when it
// cannot be read whole.
std::optional<std::string> fileSha256(const std::string& path, FileStatus& status);

} // namespace orvane
