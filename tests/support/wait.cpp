#include "support/wait.h"

#include <thread>

namespace orvane::test {

bool waitUntil(const std::function<bool()>& met, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (met())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return met();
}

} // namespace orvane::test
