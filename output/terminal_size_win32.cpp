#include "output/terminal_size.h"

#include <windows.h>

#include <io.h>

namespace orvane {

std::optional<TerminalSize> terminalSizeOf(std::FILE* stream) {
    if (stream == nullptr) {
        return std::nullopt;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) {
        return std::nullopt;
    }
    // The window, not the buffer: the buffer is usually thousands of rows tall.
    const auto columns = info.srWindow.Right - info.srWindow.Left + 1;
    const auto rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (columns <= 0 || rows <= 0) {
        return std::nullopt;
    }
    return TerminalSize{static_cast<std::size_t>(columns), static_cast<std::size_t>(rows)};
}

} // namespace orvane
