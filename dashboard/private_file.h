// The platform's half of the token: random bytes from the system, and a new file that only its
// owner may read.
#pragma once

#include <span>
#include <string>

namespace orvane {

bool randomBytes(std::span<unsigned char> bytes, std::string& error);
// Writes text to a new file at path, never over one there (nor a link planted in its place);
// false with error said otherwise.
bool writeNewPrivateFile(const std::string& path, const std::string& text, std::string& error);

} // namespace orvane
