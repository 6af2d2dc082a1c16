// Where the command line's output goes. Three forms, chosen once per run: plain lines (for
// scripts and logs), a terminal (plain lines plus a progress bar redrawn on standard error),
// and JSON (one object per event on standard output). Every write is whole and serialised,
// since the upgrade job reports from its own thread.
#pragma once

#include "cli/json.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class OutputMode { Plain, Terminal, Json };

// Json when asked for; Terminal when standard error is a terminal; Plain otherwise.
OutputMode chooseOutputMode(bool json);

class Console {
  public:
    explicit Console(OutputMode mode, std::FILE* out = stdout, std::FILE* err = stderr);

    OutputMode mode() const { return mode_; }
    bool json() const { return mode_ == OutputMode::Json; }

    // A line of the command's output on standard output; in JSON mode a "log" event. With
    // several cameras port names the one it is about: "[port] " in front of the line, a
    // "port" field in the event.
    void line(std::string_view text, std::string_view port = {});
    // A failure the user has to act on, on standard error; in JSON mode also an "error"
    // event on standard output.
    void error(std::string_view message);
    // A note that is not the command's output (the dialout hint, what the demo is doing):
    // standard error, in every mode.
    void note(std::string_view text);
    // JSON mode only: the object as one line. Ignored in the other modes.
    void event(const JsonObject& object);
    // Terminal mode only: draws text in place of bar row's current text on standard error.
    // Rows are one per camera, stacked and redrawn in place; a single row is one line
    // redrawn with a carriage return.
    void drawBar(std::string_view text, std::size_t row = 0);
    // Ends the drawn bars with a line feed, so the next output starts on a line of its own.
    void endBar();

  private:
    void endBarLocked();

    OutputMode mode_;
    std::FILE* out_;
    std::FILE* err_;
    std::mutex mutex_;
    bool barShown_ = false;
    std::vector<std::string> bars_;
    std::size_t shownRows_ = 0;
};

} // namespace orvane
