// The system's words on Windows: errno values through the C library, the system's own codes
// through FormatMessage, in English where the system has it so that reports read alike.
#include "platform/error_text.h"
#include "platform/windows_text.h"

#include <windows.h>

#include <system_error>

namespace orvane {

std::string systemErrorText(int errorNumber) {
    if (errorNumber == 0) {
        return "the system gave no reason";
    }
    if (errorNumber < windowsErrorBase) {
        return std::generic_category().message(errorNumber);
    }
    const auto code = static_cast<DWORD>(errorNumber - windowsErrorBase);
    constexpr DWORD flags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    wchar_t text[512];
    DWORD length = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                                  512, nullptr);
    if (length == 0) {
        length = FormatMessageW(flags, nullptr, code, 0, text, 512, nullptr);
    }
    std::wstring_view message(text, length);
    while (!message.empty() && (message.back() == L' ' || message.back() == L'.' || message.back() == L'\r' ||
                                message.back() == L'\n')) {
        message.remove_suffix(1);
    }
    if (message.empty()) {
        return "system error " + std::to_string(code);
    }
    return narrowText(message);
}

} // namespace orvane
