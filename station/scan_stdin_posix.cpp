// Labels from standard input on POSIX systems: a poll that wakes ten times a second to see
// whether the reader is to go, and termios for the terminal's echo.
#include "station/scan_reader.h"

#include <cerrno>
#include <poll.h>
#include <stop_token>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace orvane {
namespace {

class StandardInput final : public LabelSource {
  public:
    StandardInput() {
        if (isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
            restore_ = tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
        }
        thread_ = std::jthread([this](const std::stop_token& stop) { readUntil(stop); });
    }
    ~StandardInput() override {
        thread_.request_stop();
        thread_.join();
        if (restore_) {
            tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        }
    }
    StandardInput(const StandardInput&) = delete;
    StandardInput& operator=(const StandardInput&) = delete;

    std::vector<std::string> takeLines() override { return lines_.takeLines(); }

  private:
    void readUntil(const std::stop_token& stop) {
        char buffer[256];
        while (!stop.stop_requested()) {
            pollfd in{STDIN_FILENO, POLLIN, 0};
            if (poll(&in, 1, 100) <= 0) {
                continue;
            }
            const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
            if (count > 0) {
                lines_.feed({buffer, static_cast<std::size_t>(count)});
            } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
                lines_.feed({"\n", 1}); // a last label without its line end is still one
                return;
            }
        }
    }

    termios saved_{};
    bool restore_ = false;
    ScanLines lines_;
    std::jthread thread_; // last: it stops before what it uses goes
};

} // namespace

std::unique_ptr<LabelSource> readStandardInput() {
    return std::make_unique<StandardInput>();
}

} // namespace orvane
