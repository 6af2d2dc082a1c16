// The approved-images check of `upgrade` and `station`: the image's digest, of the bytes read
// once for sending, must be on the site's list for the board chosen.
#pragma once

#include "text/text_language.h"

#include <optional>
#include <string>

namespace orvane {

// Why the list refuses the image (the list's own problems, one a line, included); nullopt when
// it is approved. target: "main", "motor" or "special".
std::optional<std::string> imageRefusal(const std::string& listPath, const std::string& sha256,
                                        const std::string& target, const std::string& imageName,
                                        TextLanguage language);

} // namespace orvane
