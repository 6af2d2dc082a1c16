// A unit's label as a scanner reads it or a person types it: what may be kept in a record and
// shown on a terminal or a page, where a control or an invisible character could hide the
// label, break a row redrawn in place or turn the text after it around (U+202E).
#pragma once

#include "text/text_language.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr std::size_t unitLabelMaxCharacters = 128;

struct LabelCheck {
    std::optional<std::string> label{}; // the label taken, its surrounding spaces trimmed
    std::string refusal{};              // when none is taken: why, for the person who scanned it
};

// Takes 1 to 128 characters of valid UTF-8 once the spaces around them are trimmed, none of
// them a control, format, line or paragraph separator character (Unicode Cc, Cf, Zl, Zp).
LabelCheck checkUnitLabel(std::string_view text, TextLanguage language);

} // namespace orvane
