// Labels from standard input on Windows: a console's echo is turned off through its mode. A
// read of standard input cannot be woken for sure, so the reading thread shares what it
// fills with the reader and is let go when the reader goes; the process ends soon after.
#include "station/scan_reader.h"

#include <windows.h>

#include <memory>
#include <thread>

namespace orvane {
namespace {

class StandardInput final : public LabelSource {
  public:
    StandardInput() : input_(GetStdHandle(STD_INPUT_HANDLE)) {
        if (GetConsoleMode(input_, &saved_) != 0) {
            restore_ = SetConsoleMode(input_, saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
        }
        std::thread([input = input_, lines = lines_] {
            char buffer[256];
            DWORD count = 0;
            while (ReadFile(input, buffer, sizeof buffer, &count, nullptr) != 0 && count > 0) {
                lines->feed({buffer, static_cast<std::size_t>(count)});
            }
            lines->feed({"\n", 1});
        }).detach();
    }
    ~StandardInput() override {
        CancelIoEx(input_, nullptr);
        if (restore_) {
            SetConsoleMode(input_, saved_);
        }
    }
    StandardInput(const StandardInput&) = delete;
    StandardInput& operator=(const StandardInput&) = delete;

    std::vector<std::string> takeLines() override { return lines_->takeLines(); }

  private:
    HANDLE input_;
    DWORD saved_ = 0;
    bool restore_ = false;
    std::shared_ptr<ScanLines> lines_ = std::make_shared<ScanLines>();
};

} // namespace

std::unique_ptr<LabelSource> readStandardInput() {
    return std::make_unique<StandardInput>();
}

} // namespace orvane
