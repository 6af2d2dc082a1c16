#include "records/job_name.h"

#include <algorithm>
#include <charconv>

namespace orvane {
namespace {

// Versions are INTEGER columns.
constexpr std::int64_t maxJobVersion = 2'147'483'647;

bool nameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

} // namespace

std::string jobNameProblem(std::string_view text) {
    if (text.empty() || text.size() > maxJobNameLength ||
        !std::all_of(text.begin(), text.end(), nameCharacter)) {
        return "not a job name: \"" + std::string(text) + "\" (1 to " + std::to_string(maxJobNameLength) +
               " letters, digits, '-', '_' or '.'; NAME@VERSION names one version)";
    }
    return {};
}

JobReferenceReading readJobReference(std::string_view text) {
    const std::size_t at = text.find('@');
    const std::string_view name = text.substr(0, at);
    if (std::string problem = jobNameProblem(name); !problem.empty()) {
        return {std::nullopt, problem};
    }
    if (at == std::string_view::npos) {
        return {JobReference{std::string(name), std::nullopt}, {}};
    }
    const std::string_view digits = text.substr(at + 1);
    std::int64_t version = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), version);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() || version < 1 ||
        version > maxJobVersion ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {std::nullopt,
                "not a job version: \"" + std::string(text) + "\" (NAME@VERSION, VERSION 1 or more)"};
    }
    return {JobReference{std::string(name), version}, {}};
}

} // namespace orvane
