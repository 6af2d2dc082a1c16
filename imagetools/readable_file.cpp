// The shared half of the whole-file reader: filling buffers and telling a file that changed
// while it was read.
#include "imagetools/readable_file.h"

#include <algorithm>

namespace orvane {

FileStatus ReadableFile::fill(std::span<std::uint8_t> into, std::size_t& done) {
    done = 0;
    while (done < into.size()) {
        std::size_t got = 0;
        if (FileStatus status = readSome(into.subspan(done), got); !status.ok) {
            return status;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return FileStatus::success();
}

FileStatus ReadableFile::finish(std::uint64_t done, std::uint64_t expected) {
    // One byte more tells a file that grew since it was opened; a failing read says nothing
    // of growth, so it is not counted as such.
    std::uint8_t extra = 0;
    std::size_t more = 0;
    (void)readSome(std::span(&extra, 1), more);
    if (done != expected) {
        return FileStatus::failure("the file changed while it was read: " + std::to_string(done) +
                                   " of its " + std::to_string(expected) + " bytes arrived");
    }
    if (more > 0) {
        return FileStatus::failure("the file changed while it was read: it grew beyond its " +
                                   std::to_string(expected) + " bytes");
    }
    // A writer that rewrote bytes in place, or paused its copy just as the read reached the
    // end, shows in the file's size or time.
    if (changedSinceOpen()) {
        return FileStatus::failure("the file changed while it was read: it is still being written");
    }
    return FileStatus::success();
}

FileStatus ReadableFile::readAll(std::span<std::uint8_t> into) {
    std::size_t done = 0;
    if (FileStatus status = fill(into, done); !status.ok) {
        return status;
    }
    return finish(done, into.size());
}

FileStatus ReadableFile::readInPieces(std::span<std::uint8_t> buffer, const PieceTaker& take) {
    std::uint64_t done = 0;
    while (done < size_ && !buffer.empty()) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - done));
        std::size_t got = 0;
        if (FileStatus status = fill(buffer.first(want), got); !status.ok) {
            return status;
        }
        done += got;
        if (got < want) {
            break; // shorter than it was: finish says so
        }
        if (FileStatus status = take(buffer.first(want)); !status.ok) {
            return status;
        }
    }
    return finish(done, size_);
}

} // namespace orvane
