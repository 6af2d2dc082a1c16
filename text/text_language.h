// The two languages of the string table, and the language of each thread for code that looks
// texts up the way the dialog does: by the calling thread's language. Core code never relies on
// it; it is handed its language and asks textOf.
#pragma once

#include <cstdint>

namespace orvane {

enum class TextLanguage : std::uint8_t { English, Chinese };

// A language flag as the dialog keeps it: 1 English, any other value Chinese.
constexpr TextLanguage languageOfFlag(std::uint8_t flag) {
    return flag == 1 ? TextLanguage::English : TextLanguage::Chinese;
}

// Sets the calling thread's language from a flag value (1 English, otherwise Chinese).
void SetTextLanguage(std::uint8_t flag);
// The calling thread's language, as SetTextLanguage last set it (English until then).
TextLanguage threadLanguage();

} // namespace orvane
