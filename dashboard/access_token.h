// The dashboard's shared secret: made once from the system's random source into a file only
// its owner reads, then read at each start and compared without telling by the time taken.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// 32 random bytes as 64 hex digits in path, mode 0600; false with error said otherwise.
bool writeNewToken(const std::string& path, std::string& error);

// The file's token, its line end cut; empty with error said when unreadable or too short.
std::optional<std::string> readToken(const std::string& path, std::string& error);

// Whether given equals expected; the time taken depends only on their lengths.
bool tokensEqual(std::string_view given, std::string_view expected);

} // namespace orvane
