// The path the Windows file calls are given for a path the program holds (UTF-8), so that
// one longer than the 260 characters of MAX_PATH reaches its file as a short one does.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The path made absolute (against the current folder and drive, as the file calls would) in
// the \\?\ form, which lifts the length limit: "C:\out\a.hex" -> "\\?\C:\out\a.hex",
// "\\server\share\a.hex" -> "\\?\UNC\server\share\a.hex". A path in the \\?\ or \\.\ form
// already stays, and so does a device name (NUL, COM1: the system answers it as \\.\NUL).
// Empty for an empty path.
std::wstring windowsFilePath(std::string_view path);

} // namespace orvane
