// Per-thread language: each thread answers lookups in the language it last set, as thread
// locales do; a new thread starts in English.
#include "text/text_language.h"

namespace orvane {
namespace {
thread_local TextLanguage currentLanguage = TextLanguage::English;
}

void SetTextLanguage(std::uint8_t flag) {
    currentLanguage = languageOfFlag(flag);
}

TextLanguage threadLanguage() {
    return currentLanguage;
}

} // namespace orvane
