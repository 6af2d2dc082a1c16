#include "cli_process.h"

#include "event_log.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvane::test {

CliProcess::CliProcess(const std::vector<std::string>& args, int stderrFd, int stdoutFd, int stdinFd) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, stdoutFd >= 0 ? stdoutFd : outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, stderrFd >= 0 ? stderrFd : errPipe[1], 2);

    // The child starts with default signal handling whatever the test runner set up.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    json_ = std::find(args.begin(), args.end(), "--json") != args.end();
    std::vector<std::string> all{ORVANE_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    started_ = std::chrono::steady_clock::now();
    const int rc = posix_spawn(&pid_, ORVANE_CLI_PATH, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        throw std::runtime_error("posix_spawn failed");
    }
    outReader_ = std::thread([this, fd = outPipe[0]] { pump(fd, out_); });
    errReader_ = std::thread([this, fd = errPipe[0]] { pump(fd, err_); });
}

CliProcess::~CliProcess() {
    if (!result_) {
        kill(pid_, SIGKILL);
        wait(10s);
    }
}

void CliProcess::pump(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        {
            const std::lock_guard lock(mutex_);
            into.append(buffer, static_cast<std::size_t>(n));
        }
        grew_.notify_all();
    }
    close(fd);
}

std::optional<std::string> CliProcess::waitForLine(std::string_view text, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    grew_.wait_for(lock, timeout, [&] {
        for (const std::string& line : linesOf(out_)) {
            if (line.find(text) != std::string::npos && out_.find(line + "\n") != std::string::npos) {
                found = line;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::string CliProcess::outSoFar() const {
    const std::lock_guard lock(mutex_);
    return out_;
}

std::string CliProcess::errSoFar() const {
    const std::lock_guard lock(mutex_);
    return err_;
}

void CliProcess::interrupt(int signo) const {
    kill(pid_, signo);
}

CliResult CliProcess::wait(std::chrono::milliseconds timeout) {
    if (result_) {
        return *result_;
    }
    CliResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    result.took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_);
    outReader_.join();
    errReader_.join();
    if (!result.timedOut && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    const std::lock_guard lock(mutex_);
    result.out = out_;
    result.err = err_;
    result_ = result;
    if (json_) {
        keepEvents(result.out);
    }
    return result;
}

CliResult runCli(const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
    CliProcess process(args);
    return process.wait(timeout);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace orvane::test
