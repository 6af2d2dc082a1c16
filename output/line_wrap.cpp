#include "output/line_wrap.h"

#include "output/bar_layout.h"

namespace orvane {
namespace {

constexpr std::string_view indent = "  ";
constexpr std::size_t narrowest = 10; // below this a fold helps no one: the terminal's own wrap

// Where the row taking at most room columns of text ends: after the last space in its later
// half, else where the room ends.
std::size_t foldAt(std::string_view text, std::size_t room) {
    const std::size_t fits = startWithin(text, room).size();
    if (fits >= text.size() || text[fits] == ' ') {
        return fits;
    }
    const std::size_t space = text.rfind(' ', fits);
    return space != std::string_view::npos && space > fits / 2 ? space : fits;
}

} // namespace

std::vector<std::string> wrappedLines(std::string_view text, std::size_t columns) {
    const std::size_t limit = columns > 1 ? columns - 1 : 0;
    if (limit < narrowest + indent.size() || displayColumns(text) <= limit) {
        return {std::string(text)};
    }
    std::vector<std::string> rows;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::string_view lead = rows.empty() ? std::string_view() : indent;
        const std::size_t room = limit - lead.size();
        const std::size_t end = displayColumns(rest) <= room ? rest.size() : foldAt(rest, room);
        rows.push_back(std::string(lead) + std::string(rest.substr(0, end)));
        rest.remove_prefix(end);
        while (!rest.empty() && rest.front() == ' ') {
            rest.remove_prefix(1);
        }
    }
    return rows;
}

} // namespace orvane
