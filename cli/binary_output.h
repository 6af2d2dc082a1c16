// Output whose bytes must arrive as written (CSV with its CR LF): on Windows a stream in text
// mode would turn every LF into CR LF; elsewhere there is nothing to change.
#pragma once

#include <cstdio>

namespace orvane {

void useBinaryOutput(std::FILE* stream);

} // namespace orvane
