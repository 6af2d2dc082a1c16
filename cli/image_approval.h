// The image of `upgrade` and `station`, read once before any port is opened: checked by the
// image loader and, with an approved list, its digest (of the bytes read for sending) on the
// site's list for the board chosen.
#pragma once

#include "cli/console.h"
#include "imagetools/firmware_image.h"
#include "text/text_language.h"

#include <optional>
#include <string>

namespace orvane {

struct ImageChoice {
    std::string path;
    std::string approved; // the approved list's path; empty: none
    std::string target;   // "main", "motor" or "special"
    ImageRules rules{};
    TextLanguage language = TextLanguage::English;
};

// The image, in image; or the exit status (3, the step "image") once the refusal is said:
// the loader's reason, or the list's (its own problems, one a line, included).
std::optional<int> acceptImage(const ImageChoice& choice, Console& console,
                               std::optional<FirmwareImage>& image);

} // namespace orvane
