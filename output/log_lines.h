// The upgrade job writes its log as the dialog's log box sees it: whole-text replacements and
// appends ending in CR LF. A terminal wants lines, once each; LogMirror keeps the text the job
// believes it has written and answers the lines each call adds.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Lines of text without their line ends (CR LF or LF). A last piece without a line end is a
// line too; empty lines are kept, the empty text has none.
std::vector<std::string> splitLines(std::string_view text);

class LogMirror {
  public:
    // log += text: the lines of text.
    std::vector<std::string> append(const std::string& text);
    // log := text: the lines it adds to what was there, or all of its lines when it does
    // not continue the old text.
    std::vector<std::string> replace(const std::string& text);
    const std::string& text() const { return log_; }

  private:
    std::string log_;
};

// The percentage at the end of a progress line ("...progress:34%"), if it has one.
std::optional<unsigned> percentOfProgressLine(std::string_view line);

} // namespace orvane
