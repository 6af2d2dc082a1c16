#include "cli/utf8_command_line.h"

namespace orvane {

// POSIX systems pass the bytes as typed; a UTF-8 locale's are UTF-8 already.
Utf8CommandLine::Utf8CommandLine(int argc, char** argv) : arguments_(argv, argv + argc) {
    for (const std::string& argument : arguments_) {
        pointers_.push_back(argument.c_str());
    }
    pointers_.push_back(nullptr);
}

Utf8CommandLine::~Utf8CommandLine() = default;

} // namespace orvane
