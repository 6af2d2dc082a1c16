#include "cli/console.h"

#include <unistd.h>

namespace orvane {

OutputMode chooseOutputMode(bool json) {
    if (json) {
        return OutputMode::Json;
    }
    return isatty(STDERR_FILENO) == 1 ? OutputMode::Terminal : OutputMode::Plain;
}

Console::Console(OutputMode mode, std::FILE* out, std::FILE* err) : mode_(mode), out_(out), err_(err) {}

void Console::endBarLocked() {
    if (barShown_) {
        std::fputc('\n', err_);
        std::fflush(err_);
        barShown_ = false;
    }
}

void Console::line(std::string_view text, std::string_view port) {
    const std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        JsonObject object;
        object.add("event", "log");
        if (!port.empty()) {
            object.add("port", port);
        }
        std::fprintf(out_, "%s\n", object.add("text", text).str().c_str());
    } else {
        endBarLocked();
        if (!port.empty()) {
            std::fprintf(out_, "[%.*s] ", static_cast<int>(port.size()), port.data());
        }
        std::fwrite(text.data(), 1, text.size(), out_);
        std::fputc('\n', out_);
    }
    std::fflush(out_);
}

void Console::error(std::string_view message) {
    const std::lock_guard lock(mutex_);
    endBarLocked();
    if (mode_ == OutputMode::Json) {
        const std::string object = JsonObject().add("event", "error").add("message", message).str();
        std::fprintf(out_, "%s\n", object.c_str());
        std::fflush(out_);
    }
    std::fwrite(message.data(), 1, message.size(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}

void Console::note(std::string_view text) {
    const std::lock_guard lock(mutex_);
    endBarLocked();
    std::fwrite(text.data(), 1, text.size(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}

void Console::event(const JsonObject& object) {
    if (mode_ != OutputMode::Json) {
        return;
    }
    const std::lock_guard lock(mutex_);
    const std::string text = object.str();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void Console::drawBar(std::string_view text, std::size_t row) {
    if (mode_ != OutputMode::Terminal) {
        return;
    }
    const std::lock_guard lock(mutex_);
    if (bars_.size() <= row) {
        bars_.resize(row + 1);
    }
    bars_[row] = text;
    // Back to the first row of the block drawn last time, then every row: carriage return,
    // the bar, and clear whatever a longer earlier bar left behind.
    if (barShown_ && shownRows_ > 1) {
        std::fprintf(err_, "\033[%zuA", shownRows_ - 1);
    }
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        std::fputc('\r', err_);
        std::fwrite(bars_[i].data(), 1, bars_[i].size(), err_);
        std::fputs("\033[K", err_);
        if (i + 1 < bars_.size()) {
            std::fputc('\n', err_);
        }
    }
    std::fflush(err_);
    barShown_ = true;
    shownRows_ = bars_.size();
}

void Console::endBar() {
    const std::lock_guard lock(mutex_);
    endBarLocked();
}

} // namespace orvane
