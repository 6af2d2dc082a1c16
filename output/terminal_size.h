// The size of the terminal a stream is drawn on, asked again at every redraw so that the bars
// follow a resized window.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>

namespace orvane {

struct TerminalSize {
    std::size_t columns = 80;
    std::size_t rows = 24;
};

// nullopt when stream is not a terminal or does not say its size.
std::optional<TerminalSize> terminalSizeOf(std::FILE* stream);

} // namespace orvane
