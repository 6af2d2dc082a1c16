// File identity on Windows: the volume serial number and file index of an open handle.
#include "imagetools/file_identity.h"
#include "platform/windows_path.h"

#include <windows.h>

namespace orvane {

std::optional<FileIdentity> fileIdentityOf(const std::string& path) {
    // No access asked and all sharing, so that looking takes the file from nobody; backup
    // semantics let a folder open too.
    const HANDLE file =
        CreateFileW(windowsFilePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

} // namespace orvane
