#include "platform/windows_path.h"
#include "platform/windows_text.h"

#include <windows.h>

namespace orvane {
namespace {

constexpr std::wstring_view longPrefix = L"\\\\?\\";
constexpr std::wstring_view devicePrefix = L"\\\\.\\";
constexpr std::wstring_view uncPrefix = L"\\\\";

bool inNamespace(std::wstring_view path) {
    return path.starts_with(longPrefix) || path.starts_with(devicePrefix);
}

// GetFullPathNameW resolves against the current folder; in the \\?\ form nothing would, and
// "/" or ".." would be taken as part of a name.
std::wstring fullPathOf(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return {};
    }
    full.resize(length);
    return full;
}

} // namespace

std::wstring windowsFilePath(std::string_view path) {
    const std::wstring wide = widenText(path);
    if (wide.empty() || inNamespace(wide)) {
        return wide;
    }
    const std::wstring full = fullPathOf(wide);
    if (full.empty() || inNamespace(full)) {
        return full.empty() ? wide : full;
    }
    if (full.starts_with(uncPrefix)) {
        return std::wstring(longPrefix) + L"UNC\\" + full.substr(uncPrefix.size());
    }
    return std::wstring(longPrefix) + full;
}

} // namespace orvane
