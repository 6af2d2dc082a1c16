// The language each thread's texts are looked up in. Threads start in English; the upgrade
// job and the HEX merge set theirs from languageFlag, the dialog thread sets English itself.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvane {

enum class TextLanguage : std::uint8_t { English, Chinese };

// Process-wide choice of the working code's language: 1 English, any other value Chinese.
// Nothing in the dialog changes it; the command line's --lang does.
extern std::atomic<std::uint8_t> languageFlag;

// Sets the calling thread's language from a flag value (1 English, otherwise Chinese).
void SetTextLanguage(std::uint8_t flag);

void setThreadLanguage(TextLanguage language);
TextLanguage threadLanguage();

} // namespace orvane
