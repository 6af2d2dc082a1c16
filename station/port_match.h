// Which of the watched ports are cameras to upgrade (--match): a USB VID:PID such as
// 0403:6001, or a glob (* and ?) on the port's name in the watched folder or on its USB
// serial number. No pattern: every port.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct PortFacts {
    std::string port{}; // what the job opens
    std::string name{}; // the entry's name in the watched folder (or the COM name)
    std::optional<std::string> vid{};
    std::optional<std::string> pid{};
    std::optional<std::string> serial{};
};

bool globMatches(std::string_view pattern, std::string_view text);
// True when no pattern is given or any one of them fits.
bool portMatches(const std::vector<std::string>& patterns, const PortFacts& port);

} // namespace orvane
