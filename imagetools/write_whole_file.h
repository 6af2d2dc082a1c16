// Writes the merged HEX file and the device image. A technician flashes what lands here, so
// a failed write must never leave a half-written file where a good one stood.
#pragma once

#include "imagetools/file_status.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace orvane {

// Creates or replaces the file at path with exactly bytes, without a prompt. The bytes go to
// a fresh file in the same folder first (unnamed until complete where the file system allows,
// so a process killed meanwhile leaves nothing behind), are flushed to the disk and then
// renamed over path, so path holds either its old content or all of the new. An existing
// regular file's permission bits are kept (on Windows its attributes, and where the file
// system offers ReplaceFileW its creation time and ACLs too). A symbolic link stays and the
// file it points to is replaced so; a FIFO or a character device (/dev/stdout) is written to
// directly; a folder, block device or socket is refused. Never throws; a failure names the
// system's reason.
FileStatus WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Takes the next piece of the file's bytes; answers how writing it went.
using ByteWriter = std::function<FileStatus(std::span<const std::uint8_t> piece)>;
// Hands the file's bytes to write piece by piece, in order; answers its own failure or the
// first failed write's.
using ByteProducer = std::function<FileStatus(const ByteWriter& write)>;

// WriteWholeFile with the bytes coming from produce, so that a file larger than the memory
// one would take is written as safely. When produce fails, path keeps its old content (a FIFO
// or character device has taken what came before) and produce's failure is answered.
FileStatus writeWholeFileFrom(const std::string& path, const ByteProducer& produce);

} // namespace orvane
