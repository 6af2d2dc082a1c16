#include "output/text_table.h"

#include <algorithm>
#include <cstdio>

namespace orvane {
namespace {

std::string escaped(const char* form, unsigned value) {
    char text[12];
    std::snprintf(text, sizeof text, form, value);
    return text;
}

// The length of the UTF-8 sequence at text[at], 0 when it is not one (overlong forms,
// surrogates and code points past U+10FFFF included).
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    }
    if (length == 0 || at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

std::string escapedControl(unsigned char c) {
    switch (c) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        return escaped("\\x%02x", c);
    }
}

// Characters, not bytes: what a column's width is counted in.
std::size_t widthOf(std::string_view shown) {
    return static_cast<std::size_t>(std::count_if(
        shown.begin(), shown.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

std::string shownCell(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            shown += c < 0x20 || c == 0x7F ? escapedControl(c) : std::string(1, static_cast<char>(c));
            ++at;
            continue;
        }
        const std::size_t length = sequenceLength(text, at);
        if (length == 0) {
            shown += escaped("\\x%02x", c);
            ++at;
        } else if (c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            // U+0080 to U+009F: the C1 controls, which some terminals obey as escapes.
            shown += escaped("\\u%04x", static_cast<unsigned char>(text[at + 1]));
            at += length;
        } else {
            shown.append(text.substr(at, length));
            at += length;
        }
    }
    return shown;
}

void printTextTable(Console& console, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::vector<std::string>> shown;
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        auto& cells = shown.emplace_back();
        for (const std::string& cell : row) {
            cells.push_back(shownCell(cell));
            if (widths.size() < cells.size()) {
                widths.push_back(0);
            }
            widths[cells.size() - 1] = std::max(widths[cells.size() - 1], widthOf(cells.back()));
        }
    }
    for (const auto& cells : shown) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            line += cells[i];
            if (i + 1 < cells.size()) {
                line.append(widths[i] - widthOf(cells[i]) + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        console.line(line);
    }
}

} // namespace orvane
