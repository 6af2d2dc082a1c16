#include "cli/utf8_command_line.h"
#include "platform/windows_text.h"

#include <windows.h>

#include <shellapi.h>

namespace orvane {

Utf8CommandLine::Utf8CommandLine(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) {
            arguments_.push_back(narrowText(wide[i]));
        }
        LocalFree(wide);
    } else {
        arguments_.assign(argv, argv + argc); // out of memory: the ANSI arguments are better than none
    }
    for (const std::string& argument : arguments_) {
        pointers_.push_back(argument.c_str());
    }
    pointers_.push_back(nullptr);
    previousOutputPage_ = GetConsoleOutputCP();
    if (previousOutputPage_ != 0) { // 0: no console (output to files or pipes only)
        SetConsoleOutputCP(CP_UTF8);
    }
}

Utf8CommandLine::~Utf8CommandLine() {
    if (previousOutputPage_ != 0) {
        SetConsoleOutputCP(previousOutputPage_);
    }
}

} // namespace orvane
