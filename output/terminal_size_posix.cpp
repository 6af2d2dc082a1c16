#include "output/terminal_size.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace orvane {

std::optional<TerminalSize> terminalSizeOf(std::FILE* stream) {
    winsize size{};
    if (stream == nullptr || ::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0 ||
        size.ws_row == 0) {
        return std::nullopt;
    }
    return TerminalSize{size.ws_col, size.ws_row};
}

} // namespace orvane
