#include "child_process.h"

#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace orvane::test {

std::optional<ChildProcess> ChildProcess::start(const std::string& part) {
    std::string variable = "ORVANE_RECORDS_CHILD=" + part;
    std::vector<char*> environment{variable.data()};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.push_back(*entry);
    }
    environment.push_back(nullptr);
    std::string self = "/proc/self/exe";
    char* argv[] = {self.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environment.data()) != 0) {
        return std::nullopt;
    }
    return ChildProcess(pid, 0);
}

ChildProcess::~ChildProcess() {
    if (id_ > 0 && !waited_) {
        (void)wait();
    }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : id_(std::exchange(other.id_, 0)), handle_(other.handle_), waited_(other.waited_) {}

int ChildProcess::wait() {
    int status = -1;
    waited_ = true;
    if (::waitpid(static_cast<pid_t>(id_), &status, 0) != id_ || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

std::optional<std::string> childPart() {
    const char* part = std::getenv("ORVANE_RECORDS_CHILD");
    return part != nullptr ? std::optional<std::string>(part) : std::nullopt;
}

} // namespace orvane::test
