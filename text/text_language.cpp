// Per-thread language: each thread answers lookups in the language it last set, as thread
// locales do; a new thread starts in English.
#include "text/text_language.h"

namespace orvane {
namespace {
thread_local TextLanguage currentLanguage = TextLanguage::English;
}

std::atomic<std::uint8_t> languageFlag{1};

void SetTextLanguage(std::uint8_t flag) {
    setThreadLanguage(flag == 1 ? TextLanguage::English : TextLanguage::Chinese);
}

void setThreadLanguage(TextLanguage language) {
    currentLanguage = language;
}

TextLanguage threadLanguage() {
    return currentLanguage;
}

} // namespace orvane
