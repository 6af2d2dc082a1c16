// Reading whole input files on Windows: the handle's half of ReadableFile.
#include "imagetools/readable_file.h"
#include "platform/windows_error.h"
#include "platform/windows_path.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

namespace orvane {
namespace {

// The handle lives in the int the class keeps: Windows keeps handles within 32 bits.
HANDLE toHandle(int value) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value));
}

int fromHandle(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

FileStatus lastFailure() {
    return FileStatus::fromErrno(errnoOfWindowsError(GetLastError()));
}

struct Facts {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
};

bool factsOf(HANDLE file, Facts& facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        return false;
    }
    facts.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts.modified =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return true;
}

} // namespace

std::optional<ReadableFile> ReadableFile::open(const std::string& path, FileStatus& status) {
    // Backup semantics let a folder open too, so that it is named as one. Other writers stay
    // allowed, as on Linux; a change while reading shows in the size or the time.
    const HANDLE file =
        CreateFileW(windowsFilePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        status = lastFailure();
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    Facts facts;
    if (!GetFileInformationByHandle(file, &info) || !factsOf(file, facts)) {
        status = lastFailure();
        CloseHandle(file);
        return std::nullopt;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        status = FileStatus::fromErrno(EISDIR);
        CloseHandle(file);
        return std::nullopt;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        status = FileStatus::failure("not a regular file");
        CloseHandle(file);
        return std::nullopt;
    }
    status = FileStatus::success();
    const FileIdentity identity{info.dwVolumeSerialNumber,
                                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return ReadableFile(fromHandle(file), facts.size, facts.modified, identity);
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : fd_(other.fd_), size_(other.size_), modified_(other.modified_), identity_(other.identity_) {
    other.fd_ = -1;
}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        if (fd_ != -1) {
            CloseHandle(toHandle(fd_));
        }
        fd_ = other.fd_;
        size_ = other.size_;
        modified_ = other.modified_;
        identity_ = other.identity_;
        other.fd_ = -1;
    }
    return *this;
}

ReadableFile::~ReadableFile() {
    if (fd_ != -1) {
        CloseHandle(toHandle(fd_));
    }
}

FileStatus ReadableFile::readSome(std::span<std::uint8_t> into, std::size_t& got) {
    // ReadFile takes a 32-bit count.
    constexpr std::size_t largestRead = 1U << 20;
    DWORD read = 0;
    if (!ReadFile(toHandle(fd_), into.data(), static_cast<DWORD>(std::min(into.size(), largestRead)), &read,
                  nullptr)) {
        got = 0;
        return lastFailure();
    }
    got = read;
    return FileStatus::success();
}

bool ReadableFile::changedSinceOpen() const {
    Facts after;
    return factsOf(toHandle(fd_), after) && (after.size != size_ || after.modified != modified_);
}

} // namespace orvane
