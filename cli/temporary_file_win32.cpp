// The demo's temporary image file on Windows, in the user's temporary folder.
#include "cli/sample_image.h"
#include "platform/error_text.h"
#include "platform/windows_error.h"
#include "platform/windows_text.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace orvane {
namespace {

std::atomic<unsigned> demoCounter{0};

std::string lastReason() {
    return systemErrorText(errnoOfWindowsError(GetLastError()));
}

} // namespace

std::optional<TemporaryFile> TemporaryFile::create(std::span<const std::uint8_t> bytes, std::string& error) {
    std::error_code noFolder;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(noFolder);
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string path;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        path = (folder / ("orvane-demo-" + std::to_string(GetCurrentProcessId()) + "-" +
                          std::to_string(demoCounter.fetch_add(1)) + ".bin"))
                   .string();
        file = CreateFileW(widenText(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            error = path + ": " + lastReason();
            return std::nullopt;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = path + ": " + lastReason();
        return std::nullopt;
    }
    TemporaryFile created(path);
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
                    written == bytes.size();
    if (!ok) {
        error = path + ": " + lastReason();
    }
    CloseHandle(file);
    if (!ok) {
        return std::nullopt;
    }
    return created;
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
}

TemporaryFile::~TemporaryFile() {
    if (!path_.empty()) {
        DeleteFileW(widenText(path_).c_str());
    }
}

} // namespace orvane
