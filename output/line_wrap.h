// Lines that stay on a terminal (an ending with its reason, the shift's counters) are kept
// whole: folded at the terminal's width rather than cut, where a cut would lose the end of a
// reason or the counters after it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// text folded into rows of fewer than columns columns (the last column is left alone, as
// some terminals wrap as soon as it is written), between words where a space is near the
// end of a row, else between characters (Chinese has no spaces; a path may be longer than a
// row). Rows after the first are indented by two spaces so that they read as one line.
// Nothing of text is lost but the spaces a fold falls on.
std::vector<std::string> wrappedLines(std::string_view text, std::size_t columns);

} // namespace orvane
