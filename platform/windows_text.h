// Text between this program (UTF-8 everywhere) and the Windows API (UTF-16).
#pragma once

#include <string>
#include <string_view>

namespace orvane {

std::wstring widenText(std::string_view utf8);
std::string narrowText(std::wstring_view utf16);

} // namespace orvane
