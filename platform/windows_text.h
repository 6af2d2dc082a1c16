// Text between this program (UTF-8 everywhere) and the Windows API (UTF-16).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

std::wstring widenText(std::string_view utf8);
std::string narrowText(std::wstring_view utf16);

// The first text of registry data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, as the wide calls
// answer it) in UTF-8: up to its first NUL, or to the end of the data, which the registry does
// not promise to terminate; an odd last byte is no character.
std::string registryText(std::span<const std::uint8_t> data);

} // namespace orvane
