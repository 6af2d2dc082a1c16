// Replace-by-rename on Windows: write a new file beside the target, flush it to the disk,
// then put it in the target's place (ReplaceFileW over a file that is there, so its
// attributes stay; MoveFileExW with write-through for a new one), so the target holds either
// its old content or all of the new. Paths go to the system in the \\?\ form, so a folder
// deeper than 260 characters is written as any other.
#include "imagetools/write_whole_file.h"
#include "platform/windows_error.h"
#include "platform/windows_path.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace orvane {
namespace {

std::atomic<unsigned> temporaryCounter{0};

FileStatus lastFailure() {
    return FileStatus::fromErrno(errnoOfWindowsError(GetLastError()));
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle) {
        close();
        handle_ = handle;
    }
    bool close() {
        const bool closed = !valid() || CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

bool writeAll(HANDLE file, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const auto ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), ask, &written, nullptr)) {
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

ByteWriter writerTo(HANDLE file) {
    return [file](std::span<const std::uint8_t> piece) {
        return writeAll(file, piece) ? FileStatus::success() : lastFailure();
    };
}

// Up to and including the last separator.
std::wstring folderPart(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Whether folder (with its trailing separator) is in truth a file: Windows then answers
// "path not found", where the technician needs to hear that it is not a folder.
bool isFile(const std::wstring& folder) {
    if (folder.size() < 2) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(folder.substr(0, folder.size() - 1).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The attributes of a replaced file that its new content keeps. ReplaceFileW keeps them (and
// the creation time, ACLs and streams) itself; they are given to the new file beforehand as
// well, so that a replace by MoveFileExW keeps them too. Not read-only: such a file is
// refused as before. Not archive: new content is to be backed up again.
constexpr DWORD keptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Puts the complete temporary file in target's place; answers the error, ERROR_SUCCESS when
// it is there. Where ReplaceFileW is refused (file systems and shares without it), MoveFileExW
// replaces the file as it would a missing one. targetGone: the old file is gone, so the
// temporary file holds the only content there is and must stay.
DWORD placeFile(const std::wstring& temporary, const std::wstring& target, bool targetExists,
                bool& targetGone) {
    targetGone = false;
    if (targetExists) {
        const DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & keptAttributes) != 0) {
            (void)SetFileAttributesW(temporary.c_str(),
                                     FILE_ATTRIBUTE_ARCHIVE | (attributes & keptAttributes));
        }
        if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                         REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
            return ERROR_SUCCESS;
        }
        // Without a backup name this one answer means the old file is deleted already.
        targetGone = GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    }
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

FileStatus replaceFile(const std::wstring& target, bool targetExists, const ByteProducer& produce) {
    const std::wstring folder = folderPart(target);
    std::wstring temporary;
    Handle file(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
        temporary = folder + L".orvane-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(temporaryCounter.fetch_add(1)) + L".tmp";
        file.reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD error = GetLastError();
        if (!file.valid() && error == ERROR_PATH_NOT_FOUND && isFile(folder)) {
            return FileStatus::fromErrno(ENOTDIR);
        }
        if (!file.valid() && error != ERROR_FILE_EXISTS) {
            return FileStatus::fromErrno(errnoOfWindowsError(error));
        }
    }
    if (!file.valid()) {
        return FileStatus::fromErrno(EEXIST);
    }
    FileStatus status = produce(writerTo(file.get()));
    if (status.ok && (!FlushFileBuffers(file.get()) || !file.close())) {
        status = lastFailure();
    }
    bool targetGone = false;
    if (status.ok) {
        if (const DWORD error = placeFile(temporary, target, targetExists, targetGone);
            error != ERROR_SUCCESS) {
            status = FileStatus::fromErrno(errnoOfWindowsError(error));
        }
    }
    if (!status.ok && !targetGone) {
        file.close();
        DeleteFileW(temporary.c_str());
    }
    return status;
}

// The path a chain of symbolic links ends at, so the link stays and its target is replaced.
std::wstring finalPathOf(HANDLE file, const std::wstring& fallback) {
    wchar_t buffer[32768];
    const DWORD length = GetFinalPathNameByHandleW(file, buffer, 32768, FILE_NAME_NORMALIZED);
    return length == 0 || length >= 32768 ? fallback : std::wstring(buffer, length);
}

} // namespace

FileStatus WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    return writeWholeFileFrom(path, [bytes](const ByteWriter& write) { return write(bytes); });
}

FileStatus writeWholeFileFrom(const std::string& path, const ByteProducer& produce) {
    if (path.empty()) {
        return FileStatus::fromErrno(ENOENT);
    }
    const std::wstring widePath = windowsFilePath(path);
    // Looks at what is there without taking it from anyone: no access asked, all sharing.
    Handle existing(CreateFileW(widePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!existing.valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            return FileStatus::fromErrno(errnoOfWindowsError(error));
        }
        return replaceFile(widePath, false, produce);
    }
    const DWORD type = GetFileType(existing.get());
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
        existing.close();
        Handle stream(CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
        if (!stream.valid()) {
            return lastFailure();
        }
        // A pipe or a character device (a console, NUL) takes the bytes as they come.
        return produce(writerTo(stream.get()));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(existing.get(), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return FileStatus::fromErrno(EISDIR);
    }
    const std::wstring target = finalPathOf(existing.get(), widePath);
    existing.close();
    return replaceFile(target, true, produce);
}

} // namespace orvane
