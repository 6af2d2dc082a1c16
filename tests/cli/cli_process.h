// Runs the built orvane-cli as a user would: its own process, arguments, standard output and
// standard error captured through pipes, exit status or signal, Ctrl-C sent as SIGINT.
#pragma once

#include "support/files.h"
#include "support/temp_folder.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace orvane::test {

using namespace std::chrono_literals;

struct CliResult {
    int exitCode = -1; // -1 when ended by a signal or still running at the time limit
    int signal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
};

class CliProcess {
  public:
    // Starts orvane-cli with args. stderrFd >= 0 replaces the stderr pipe (a terminal, say),
    // stdoutFd >= 0 the stdout pipe; their output is then not captured here. stdinFd >= 0 is
    // its standard input (else /dev/null).
    explicit CliProcess(const std::vector<std::string>& args, int stderrFd = -1, int stdoutFd = -1,
                        int stdinFd = -1);
    ~CliProcess(); // kills a process still running
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Waits until standard output holds a line containing text; answers that line.
    std::optional<std::string> waitForLine(std::string_view text, std::chrono::milliseconds timeout);
    std::string outSoFar() const;
    std::string errSoFar() const;
    void interrupt(int signo = SIGINT) const;
    // Waits for the end (or kills at the time limit) and answers everything; the output of a
    // --json run is kept for the schema check.
    CliResult wait(std::chrono::milliseconds timeout);

  private:
    void pump(int fd, std::string& into);

    pid_t pid_ = -1;
    bool json_ = false; // asked for --json: its lines go to the schema check
    std::chrono::steady_clock::time_point started_;
    mutable std::mutex mutex_;
    std::condition_variable grew_;
    std::string out_;
    std::string err_;
    std::thread outReader_;
    std::thread errReader_;
    std::optional<CliResult> result_;
};

// Runs to the end (or the time limit) and answers everything.
CliResult runCli(const std::vector<std::string>& args, std::chrono::milliseconds timeout = 30s);

// Lines of text without line ends.
std::vector<std::string> linesOf(const std::string& text);

} // namespace orvane::test
