// Where the command line's output goes, for every subcommand. Three forms, chosen once per
// run: plain lines (for scripts and logs), a terminal (plain lines plus a progress bar redrawn
// on standard error), and JSON (one event a line on standard output, by the contract in
// docs/cli-events.schema.json). Every write is whole and serialised, since upgrade jobs report
// from their own threads.
#pragma once

#include "output/json_line.h"
#include "output/progress_bar.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class OutputMode { Plain, Terminal, Json };

// Json when asked for; Terminal when standard error is a terminal; Plain otherwise.
OutputMode chooseOutputMode(bool json);

// The camera a line or event is about.
struct PortTag {
    std::string port{};        // as the user gave it: the "port" of each of its JSON events
    bool namedInLines = false; // human output: "[label] " in front (several cameras at once)
};

// The port as lines and bars name it: without a leading "/dev/".
std::string portLabel(std::string_view port);

// The end of a command (or of one camera's upgrade), said once.
struct CommandResult {
    int exitCode = 0;
    std::string text{};   // the outcome in a line
    std::string reason{}; // why it did not succeed; the text when empty
    // Further fields of the result event (path, step, block, seconds ...), in this order.
    JsonFields details = JsonFields::object();
    PortTag port{};
    // Human output has said it already (an upgrade's last log line and reason) or has nothing
    // to say (a PTZ frame sent).
    bool shown = false;
};

// The fields a result event carries after its port: ok, exitCode, text, reason when not ok,
// then the details.
JsonFields resultFields(const CommandResult& result);

class Console {
  public:
    explicit Console(OutputMode mode, std::FILE* out = stdout, std::FILE* err = stderr);

    OutputMode mode() const { return mode_; }
    bool json() const { return mode_ == OutputMode::Json; }

    // A line of the command's output on standard output; in JSON a "log" event.
    void line(std::string_view text, const PortTag& port = {});
    // Bytes of the command's output as they are, their line ends included (CSV): standard
    // output in every form.
    void raw(std::string_view bytes);
    // What is not the command's output (a resend, what the demo is doing): standard error in
    // every form.
    void note(std::string_view text, const PortTag& port = {});
    // The terminal's bell on standard error, between two writes, never inside a row being drawn.
    void bell();
    // A hint that changes nothing (the adapter's latency timer): a note, in JSON an "advice"
    // event.
    void advice(std::string_view text, const PortTag& port = {});
    // JSON only: the event kind with "time", the port's "port" and fields. Ignored otherwise.
    void event(std::string_view kind, const JsonFields& fields, const PortTag& port = {});
    // JSON: the "result" event (ok, exitCode, text, reason when not ok, the details). Human
    // output, unless shown: the text on standard output, or the reason on standard error,
    // where a failure's reason also goes in JSON. Answers the exit code.
    int result(const CommandResult& result);
    // Terminal only: draws bar in place of row's on standard error. Rows are one per camera,
    // stacked and redrawn in place, every one fitted to the terminal's width as it is now; a
    // single row is one line redrawn with a carriage return. Answers false, drawing nothing,
    // when the rows do not fit the terminal (more of them than it has rows, or too narrow):
    // the caller then shows its progress in plain lines.
    bool drawBar(const BarRow& bar, std::size_t row = 0);
    // Terminal only: the number of bar rows the run will draw, so the first of them already
    // knows whether all will fit.
    void reserveBars(std::size_t rows);
    // Ends the drawn bars with a line feed, so the next output starts on a line of its own.
    void endBar();
    // JSON: every event's line also goes to tap, on the writing thread, in order (the
    // station's page repeats them); it must only hand the line on. Empty: none.
    void tapEvents(std::function<void(const std::string& line)> tap);
    // Whether some of standard output could not be written (a full disk, a closed file): a
    // stream keeps its error, so one failed write is enough. A pipe whose reader has left is
    // not counted.
    bool outputLost() const;
    // The command's end: flushes standard output and answers status, or, when some of it
    // could not be written, says so on standard error and answers 1 (as for any output file
    // not written) unless status already tells of a failure. A script must not take a
    // truncated or empty file for success.
    int finish(int status);

  private:
    void endBarLocked();
    void flushLocked(std::FILE* stream);
    void printLocked(std::FILE* stream, std::string_view text, const PortTag& port);
    void eventLocked(std::string_view kind, const JsonFields& fields, const PortTag& port);

    OutputMode mode_;
    std::FILE* out_;
    std::FILE* err_;
    mutable std::mutex mutex_;
    std::optional<int> outError_; // the error number of the first write of out_ that failed
    bool readerGone_ = false;     // standard output is a pipe whose reader has closed it
    bool lossSaid_ = false;
    bool barShown_ = false;
    std::vector<std::optional<BarRow>> bars_; // a row not drawn yet is empty
    std::size_t shownRows_ = 0;
    std::function<void(const std::string&)> tap_;
};

} // namespace orvane
