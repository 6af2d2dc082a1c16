#include "station/line_job_source.h"

#include <charconv>

namespace orvane {

std::optional<JobPin> jobPinOf(std::string_view given) {
    const std::size_t at = given.rfind('@');
    JobPin pin{std::string(given.substr(0, at))};
    if (pin.name.empty()) {
        return std::nullopt;
    }
    if (at != std::string_view::npos) {
        const std::string_view text = given.substr(at + 1);
        std::int64_t version = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), version);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || version < 1) {
            return std::nullopt;
        }
        pin.version = version;
    }
    return pin;
}

} // namespace orvane
