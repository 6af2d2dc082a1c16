// Another run of this test program, which does one part of a test (childPartIfAsked) and ends:
// a writer of its own, or a process that is gone. The same on POSIX and Windows, which has no
// fork.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane::test {

class ChildProcess {
  public:
    // Starts this program again with ORVANE_RECORDS_CHILD set to part; nullopt when it cannot.
    static std::optional<ChildProcess> start(const std::string& part);
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for its end: its exit status, -1 when it did not exit by itself.
    int wait();
    // Its process id. Windows gives it to no other process while this object lives.
    std::int64_t id() const { return id_; }

  private:
    ChildProcess(std::int64_t id, std::intptr_t handle) : id_(id), handle_(handle) {}

    std::int64_t id_;
    std::intptr_t handle_; // the process's handle on Windows
    bool waited_ = false;
};

// The part this run was started for (ORVANE_RECORDS_CHILD), nullopt in the run of the tests.
std::optional<std::string> childPart();

} // namespace orvane::test
