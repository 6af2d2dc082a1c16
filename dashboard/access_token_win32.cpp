// On Windows the file is made new (CREATE_NEW: never over another, nor through a link) and
// takes the folder's permissions, which in a user's own folders let no other user read it.
#include "dashboard/private_file.h"

#include <windows.h>

#include <bcrypt.h>

namespace orvane {
namespace {

std::wstring wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

} // namespace

bool randomBytes(std::span<unsigned char> bytes, std::string& error) {
    if (BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        error = "no random bytes from the system";
        return false;
    }
    return true;
}

bool writeNewPrivateFile(const std::string& path, const std::string& text, std::string& error) {
    const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = path + ": cannot make the file (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    const bool closed = CloseHandle(file);
    if (!ok || !closed) {
        error = path + ": cannot write the token";
        DeleteFileW(wide(path).c_str());
        return false;
    }
    return true;
}

} // namespace orvane
