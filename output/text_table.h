// A table for a terminal whose cells come from stored data: whatever a cell holds, it stays
// one cell on one line. Control characters (a line feed in a port name, an escape sequence)
// and bytes that are not UTF-8 are shown escaped (\n, \x1b), so no cell can start a row of
// its own, move the cursor or recolour the terminal.
#pragma once

#include "output/console.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The text as the table shows it.
std::string shownCell(std::string_view text);

// Columns padded to their widest cell (in characters), two spaces apart, the last one not
// padded; every cell shown as shownCell gives it. One console line a row.
void printTextTable(Console& console, const std::vector<std::vector<std::string>>& rows);

} // namespace orvane
