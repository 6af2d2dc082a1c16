// Names derived from a picked file's path: the merged HEX file and the device image are
// named after their input and written beside it.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The file-name part of path: what follows its last '/', or, when it has none, its last '\'.
// With keepExtension false the name loses its last '.' and what follows ("fw.rev.bin" gives
// "fw.rev", ".hex" gives "", a name without '.' stays whole).
std::string FileNameOfPath(std::string_view path, bool keepExtension);

// The name without its last extension; what a picked file's title is.
std::string fileTitleOf(std::string_view path);

// The path up to and including the separator FileNameOfPath cuts at; empty for a bare name,
// so that folderOf(path) + a name lies beside path.
std::string folderOf(std::string_view path);

} // namespace orvane
