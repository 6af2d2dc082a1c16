// Reads a firmware image whole into memory for one upgrade job. Every failure comes back as
// the log line that tells the technician what went wrong, in the calling thread's language.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace orvane {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

struct LoadedImage {
    std::vector<std::uint8_t> bytes; // the whole file; its size is the image length
    // Held open until the job ends, so the file cannot be replaced under a running upgrade
    // on systems that lock open files.
    std::unique_ptr<std::FILE, FileCloser> file;
};

struct ImageLoadFailure {
    std::string message; // without line end
};

// Opens path, takes its length and reads that many bytes. Refuses a file longer than
// maxLength before reading it, and a read that delivers fewer bytes than the length.
std::variant<LoadedImage, ImageLoadFailure> loadImage(const std::string& path, std::uint64_t maxLength);

// The system's text for an errno value, safe to call from any thread.
std::string reasonOf(int error);

} // namespace orvane
