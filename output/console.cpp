#include "output/console.h"

#include "output/bar_layout.h"
#include "output/terminal_size.h"
#include "platform/error_text.h"

#include <cerrno>
#include <unistd.h>

namespace orvane {

OutputMode chooseOutputMode(bool json) {
    if (json) {
        return OutputMode::Json;
    }
    return isatty(STDERR_FILENO) == 1 ? OutputMode::Terminal : OutputMode::Plain;
}

std::string portLabel(std::string_view port) {
    constexpr std::string_view dev = "/dev/";
    return std::string(port.substr(port.rfind(dev, 0) == 0 ? dev.size() : 0));
}

JsonFields resultFields(const CommandResult& result) {
    const bool ok = result.exitCode == 0;
    JsonFields fields{{"ok", ok}, {"exitCode", result.exitCode}, {"text", result.text}};
    if (!ok) {
        fields["reason"] = result.reason.empty() ? result.text : result.reason;
    }
    for (const auto& [key, value] : result.details.items()) {
        fields[key] = value;
    }
    return fields;
}

Console::Console(OutputMode mode, std::FILE* out, std::FILE* err) : mode_(mode), out_(out), err_(err) {}

void Console::endBarLocked() {
    if (barShown_) {
        std::fputc('\n', err_);
        flushLocked(err_);
        barShown_ = false;
    }
}

// Every write ends here. The stream's error stays set once a piece failed, so the look after
// the flush sees any of them; only standard output is the command's output. A reader that has
// gone (`| head`) took what it wanted: that is no loss, and the command's status stands.
void Console::flushLocked(std::FILE* stream) {
    const bool flushed = std::fflush(stream) == 0;
    if (stream != out_ || outError_ || readerGone_ || (flushed && std::ferror(out_) == 0)) {
        return;
    }
    if (errno == EPIPE) {
        readerGone_ = true;
    } else {
        outError_ = errno;
    }
}

bool Console::outputLost() const {
    const std::lock_guard lock(mutex_);
    return outError_.has_value();
}

int Console::finish(int status) {
    const std::lock_guard lock(mutex_);
    endBarLocked();
    flushLocked(out_);
    if (!outError_) {
        return status;
    }
    if (!lossSaid_) {
        lossSaid_ = true;
        const std::string text = "Cannot write the standard output: " + systemErrorText(*outError_);
        std::fwrite(text.data(), 1, text.size(), err_);
        std::fputc('\n', err_);
        std::fflush(err_);
    }
    return status != 0 ? status : 1;
}

void Console::printLocked(std::FILE* stream, std::string_view text, const PortTag& port) {
    endBarLocked();
    if (port.namedInLines) {
        const std::string label = portLabel(port.port);
        std::fprintf(stream, "[%s] ", label.c_str());
    }
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    flushLocked(stream);
}

void Console::eventLocked(std::string_view kind, const JsonFields& fields, const PortTag& port) {
    const std::string text = jsonLine(eventFields(kind, fields, port.port));
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    flushLocked(out_);
    if (tap_) {
        tap_(text);
    }
}

void Console::tapEvents(std::function<void(const std::string& line)> tap) {
    const std::lock_guard lock(mutex_);
    tap_ = std::move(tap);
}

void Console::line(std::string_view text, const PortTag& port) {
    const std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        eventLocked("log", {{"text", text}}, port);
    } else {
        printLocked(out_, text, port);
    }
}

void Console::raw(std::string_view bytes) {
    const std::lock_guard lock(mutex_);
    endBarLocked();
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
    flushLocked(out_);
}

void Console::bell() {
    const std::lock_guard lock(mutex_);
    std::fputc('\a', err_);
    std::fflush(err_);
}

void Console::note(std::string_view text, const PortTag& port) {
    const std::lock_guard lock(mutex_);
    printLocked(err_, text, port);
}

void Console::advice(std::string_view text, const PortTag& port) {
    const std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        eventLocked("advice", {{"text", text}}, port);
    } else {
        printLocked(err_, text, port);
    }
}

void Console::event(std::string_view kind, const JsonFields& fields, const PortTag& port) {
    if (mode_ != OutputMode::Json) {
        return;
    }
    const std::lock_guard lock(mutex_);
    eventLocked(kind, fields, port);
}

int Console::result(const CommandResult& result) {
    const bool ok = result.exitCode == 0;
    const std::string& reason = result.reason.empty() ? result.text : result.reason;
    const std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        eventLocked("result", resultFields(result), result.port);
    }
    if (!result.shown && !ok) {
        printLocked(err_, reason, result.port);
    } else if (!result.shown && mode_ != OutputMode::Json) {
        printLocked(out_, result.text, result.port);
    }
    return result.exitCode;
}

bool Console::drawBar(const BarRow& bar, std::size_t row) {
    if (mode_ != OutputMode::Terminal) {
        return false;
    }
    const std::lock_guard lock(mutex_);
    if (bars_.size() <= row) {
        bars_.resize(row + 1);
    }
    bars_[row] = bar;
    // Asked at every draw, so the bars follow a resized window.
    // A stream that does not say its size (a test's capture) is taken as wide and tall enough.
    constexpr std::size_t unbounded = 1 << 20;
    const TerminalSize size = terminalSizeOf(err_).value_or(TerminalSize{unbounded, unbounded});
    if (!barsFit(bars_.size(), size)) {
        endBarLocked();
        return false;
    }
    // Back to the first row of the block drawn last time, then every row: carriage return,
    // the bar, and clear whatever a longer earlier bar left behind.
    if (barShown_ && shownRows_ > 1) {
        std::fprintf(err_, "\033[%zuA", shownRows_ - 1);
    }
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        const std::string line =
            bars_[i] ? fittedBarLine(bars_[i]->label, bars_[i]->state, bars_[i]->extra, size.columns)
                     : std::string();
        std::fputc('\r', err_);
        std::fwrite(line.data(), 1, line.size(), err_);
        std::fputs("\033[K", err_);
        if (i + 1 < bars_.size()) {
            std::fputc('\n', err_);
        }
    }
    std::fflush(err_);
    barShown_ = true;
    shownRows_ = bars_.size();
    return true;
}

void Console::reserveBars(std::size_t rows) {
    const std::lock_guard lock(mutex_);
    if (bars_.size() < rows) {
        bars_.resize(rows);
    }
}

void Console::endBar() {
    const std::lock_guard lock(mutex_);
    endBarLocked();
}

} // namespace orvane
