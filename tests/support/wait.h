// Waiting on real time for something another thread or process does, with a deadline so a
// fault ends the test instead of hanging it.
#pragma once

#include <chrono>
#include <functional>

namespace orvane::test {

// Asks met() every 20 ms until it holds (true) or timeout has passed (false, after
// one last look).
bool waitUntil(const std::function<bool()>& met, std::chrono::milliseconds timeout);

} // namespace orvane::test
