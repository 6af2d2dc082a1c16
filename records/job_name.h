// A released job's name as an engineer types it, and "NAME@VERSION" where one version is meant.
// Names are kept to letters, digits, '-', '_' and '.' so that one is the same word in a shell,
// a file name, a URL and a log line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr std::size_t maxJobNameLength = 64;

// Why text is no job name; empty when it is one.
std::string jobNameProblem(std::string_view text);

struct JobReference {
    std::string name;
    std::optional<std::int64_t> version; // none: the latest
};

struct JobReferenceReading {
    std::optional<JobReference> reference; // set unless refused
    std::string refusal;                   // why not
};

// "NAME" or "NAME@VERSION" (VERSION 1 or more).
JobReferenceReading readJobReference(std::string_view text);

} // namespace orvane
