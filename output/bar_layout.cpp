#include "output/bar_layout.h"

namespace orvane {
namespace {

constexpr std::size_t narrowestTrack = 10;
constexpr std::string_view ellipsis = "...";

// The code point starting at text[at] and its length in bytes; a stray byte counts alone.
std::pair<char32_t, std::size_t> codePointAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || at + length > text.size()) {
        return {lead, 1};
    }
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return {value, length};
}

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The longest end of text that takes at most columns, whole characters only.
std::string_view endWithin(std::string_view text, std::size_t columns) {
    std::size_t from = text.size();
    std::size_t used = 0;
    while (from > 0) {
        std::size_t start = from - 1;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && from - start < 4) {
            --start;
        }
        const std::size_t width = displayColumns(text.substr(start, from - start));
        if (used + width > columns) {
            break;
        }
        used += width;
        from = start;
    }
    return text.substr(from);
}

std::string barLine(std::string_view label, const ProgressBarState& state, std::string_view extra,
                    unsigned track) {
    std::string line = label.empty() ? std::string() : "[" + std::string(label) + "] ";
    line += formatProgressBar(state, track);
    if (!extra.empty()) {
        line += "  ";
        line += extra;
    }
    return line;
}

} // namespace

std::string_view startWithin(std::string_view text, std::size_t columns) {
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto [c, length] = codePointAt(text, at);
        const std::size_t width = isWide(c) ? 2 : 1;
        if (used + width > columns) {
            break;
        }
        used += width;
        at += length;
    }
    return text.substr(0, at);
}

std::size_t displayColumns(std::string_view text) {
    std::size_t columns = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto [c, length] = codePointAt(text, at);
        columns += isWide(c) ? 2 : 1;
        at += length;
    }
    return columns;
}

std::string middleShortened(std::string_view text, std::size_t columns) {
    if (displayColumns(text) <= columns) {
        return std::string(text);
    }
    if (columns <= ellipsis.size()) {
        return std::string(startWithin(text, columns));
    }
    const std::size_t room = columns - ellipsis.size();
    const std::size_t tail = room / 2; // the end tells adapters apart ("...-port0", serials)
    return std::string(startWithin(text, room - tail)) + std::string(ellipsis) +
           std::string(endWithin(text, tail));
}

std::string fittedBarLine(std::string_view label, const ProgressBarState& state, std::string_view extra,
                          std::size_t columns) {
    // The last column is left alone: some terminals wrap as soon as it is written.
    const std::size_t limit = columns > 1 ? columns - 1 : 0;
    const unsigned widest = label.empty() ? 30 : 20;
    for (unsigned track = widest; track >= narrowestTrack; --track) {
        if (std::string line = barLine(label, state, extra, track); displayColumns(line) <= limit) {
            return line;
        }
    }
    // What the bar says comes first: the extra words at its end are cut before the label
    // is shortened.
    if (const std::string bare = barLine(label, state, {}, narrowestTrack); displayColumns(bare) <= limit) {
        return std::string(startWithin(barLine(label, state, extra, narrowestTrack), limit));
    }
    std::string line = barLine(label, state, {}, narrowestTrack);
    if (!label.empty()) {
        const std::size_t others = displayColumns(line) - displayColumns(label);
        if (others + ellipsis.size() + 1 <= limit) { // a character of the name at least
            line = barLine(middleShortened(label, limit - others), state, {}, narrowestTrack);
        }
    }
    return std::string(startWithin(line, limit));
}

bool barsFit(std::size_t bars, const TerminalSize& size) {
    constexpr std::size_t narrowestUseful = 24; // a short label, the track and the percent
    return bars + 1 <= size.rows && size.columns >= narrowestUseful;
}

} // namespace orvane
