// Progress bars fitted to the terminal. A bar as wide as the terminal or wider wraps onto a
// second row, and every redraw then climbs back too few rows and leaves a trail of old bars;
// more bars than rows cannot be redrawn in place at all.
#pragma once

#include "output/progress_bar.h"
#include "output/terminal_size.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane {

// Columns the UTF-8 text takes on a terminal: one a character, two for East Asian wide ones.
std::size_t displayColumns(std::string_view text);

// The longest start of text that takes at most columns, whole characters only.
std::string_view startWithin(std::string_view text, std::size_t columns);

// text as it is when it fits columns, else its start and end joined by "...":
// "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0" -> "/dev/serial/b...0-port0".
std::string middleShortened(std::string_view text, std::size_t columns);

// "[label] " (nothing when label is empty), the bar and extra, in fewer than columns
// columns: the bar's track narrows first (down to 10), then the label is shortened in the
// middle, and what still does not fit is cut off at the end.
std::string fittedBarLine(std::string_view label, const ProgressBarState& state, std::string_view extra,
                          std::size_t columns);

// Whether bars rows can be redrawn in place: each on a row of its own, with a row to spare
// for the cursor, and room for the label and the percent at least.
bool barsFit(std::size_t bars, const TerminalSize& size);

} // namespace orvane
