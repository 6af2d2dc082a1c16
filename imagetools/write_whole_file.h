// Writes the merged HEX file and the device image. A technician flashes what lands here, so
// a failed write must never leave a half-written file where a good one stood.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imagetools/file_status.h"

namespace orvane {

// Creates or replaces the file at path with exactly bytes, without a prompt. The bytes go to
// a fresh file in the same folder first, are flushed to the disk and then renamed over path,
// so path holds either its old content or all of the new. An existing regular file's
// permission bits are kept. Never throws; a failure names the system's reason.
FileStatus WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace orvane
