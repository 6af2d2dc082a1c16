#include "station/port_match.h"

#include <algorithm>
#include <cctype>

namespace orvane {
namespace {

bool isVidPid(std::string_view pattern) {
    return pattern.size() == 9 && pattern[4] == ':' &&
           std::all_of(pattern.begin(), pattern.end(),
                       [](char c) { return c == ':' || std::isxdigit(c) != 0; });
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool matchesOne(std::string_view pattern, const PortFacts& port) {
    if (isVidPid(pattern)) {
        return port.vid && port.pid && lower(pattern) == lower(*port.vid + ":" + *port.pid);
    }
    return globMatches(pattern, port.name) || (port.serial && globMatches(pattern, *port.serial));
}

} // namespace

bool globMatches(std::string_view pattern, std::string_view text) {
    // Iterative, with one star to go back to: linear in practice, never recursive.
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool portMatches(const std::vector<std::string>& patterns, const PortFacts& port) {
    return patterns.empty() ||
           std::any_of(patterns.begin(), patterns.end(),
                       [&port](const std::string& pattern) { return matchesOne(pattern, port); });
}

} // namespace orvane
