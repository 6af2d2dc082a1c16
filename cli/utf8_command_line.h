// The program's arguments in UTF-8, as every other text of the program is. Windows hands
// main(argc, argv) its arguments in the ANSI code page, which cannot hold most file names
// (固件.bin arrives as ??.bin); its wide command line holds them all. While it lives, the
// console also shows the program's UTF-8 output as such (a console's own code page is an
// OEM one); the page it had is restored at the end.
#pragma once

#include <string>
#include <vector>

namespace orvane {

class Utf8CommandLine {
  public:
    Utf8CommandLine(int argc, char** argv);
    ~Utf8CommandLine();
    Utf8CommandLine(const Utf8CommandLine&) = delete;
    Utf8CommandLine& operator=(const Utf8CommandLine&) = delete;

    int argc() const { return static_cast<int>(arguments_.size()); }
    const char* const* argv() const { return pointers_.data(); }

  private:
    std::vector<std::string> arguments_;
    std::vector<const char*> pointers_;
    [[maybe_unused]] unsigned previousOutputPage_ = 0; // Windows only
};

} // namespace orvane
