#include "station/unit_label.h"

#include "text/string_table.h"
#include "text/text_ids.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

namespace orvane {
namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Unicode 15's Cc, Cf, Zl and Zp: nothing a person reads, and some of it reorders or hides what
// follows it on a screen.
constexpr std::array hidden{
    Range{0x0000, 0x001F},   Range{0x007F, 0x009F},   Range{0x00AD, 0x00AD},   Range{0x0600, 0x0605},
    Range{0x061C, 0x061C},   Range{0x06DD, 0x06DD},   Range{0x070F, 0x070F},   Range{0x0890, 0x0891},
    Range{0x08E2, 0x08E2},   Range{0x180E, 0x180E},   Range{0x200B, 0x200F},   Range{0x2028, 0x202E},
    Range{0x2060, 0x2064},   Range{0x2066, 0x206F},   Range{0xFEFF, 0xFEFF},   Range{0xFFF9, 0xFFFB},
    Range{0x110BD, 0x110BD}, Range{0x110CD, 0x110CD}, Range{0x13430, 0x1343F}, Range{0x1BCA0, 0x1BCA3},
    Range{0x1D173, 0x1D17A}, Range{0xE0001, 0xE0001}, Range{0xE0020, 0xE007F},
};

// Unicode's space separators (Zs): trimmed where they surround a label.
constexpr std::array spaces{Range{0x0020, 0x0020}, Range{0x00A0, 0x00A0}, Range{0x1680, 0x1680},
                            Range{0x2000, 0x200A}, Range{0x202F, 0x202F}, Range{0x205F, 0x205F},
                            Range{0x3000, 0x3000}};

template <std::size_t N> bool within(const std::array<Range, N>& ranges, char32_t c) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [c](const Range& r) { return c >= r.first && c <= r.last; });
}

struct Decoded {
    char32_t c = 0;
    std::size_t length = 0; // 0: not UTF-8 here
};

// One character at text[at], strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
Decoded decodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        return {};
    }
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return {};
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {};
    }
    return {c, length};
}

struct Character {
    char32_t c;
    std::size_t at;
    std::size_t length;
};

std::string codePointName(char32_t c) {
    std::array<char, 16> name{};
    std::snprintf(name.data(), name.size(), "U+%04X", static_cast<unsigned>(c));
    return name.data();
}

LabelCheck refused(int id, TextLanguage language, std::initializer_list<std::string_view> args) {
    return {.refusal = fillText(textOf(id, language), args)};
}

} // namespace

LabelCheck checkUnitLabel(std::string_view text, TextLanguage language) {
    std::vector<Character> characters;
    for (std::size_t at = 0; at < text.size();) {
        const Decoded one = decodeAt(text, at);
        if (one.length == 0) {
            return refused(IDS_LABEL_NOT_UTF8, language, {std::to_string(at + 1)});
        }
        characters.push_back({one.c, at, one.length});
        at += one.length;
    }
    const auto isSpace = [](const Character& ch) { return within(spaces, ch.c); };
    const auto first = std::find_if_not(characters.begin(), characters.end(), isSpace);
    const auto end = std::find_if_not(characters.rbegin(), std::make_reverse_iterator(first), isSpace).base();
    if (first == end) {
        return refused(IDS_LABEL_EMPTY, language, {});
    }
    const auto count = static_cast<std::size_t>(end - first);
    if (count > unitLabelMaxCharacters) {
        return refused(IDS_LABEL_TOO_LONG, language,
                       {std::to_string(count), std::to_string(unitLabelMaxCharacters)});
    }
    for (auto ch = first; ch != end; ++ch) {
        if (within(hidden, ch->c)) {
            return refused(IDS_LABEL_HIDDEN_CHARACTER, language,
                           {codePointName(ch->c), std::to_string(ch - first + 1)});
        }
    }
    const std::size_t from = first->at;
    const std::size_t to = (end - 1)->at + (end - 1)->length;
    return {.label = std::string(text.substr(from, to - from))};
}

} // namespace orvane
