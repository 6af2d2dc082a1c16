#include "output/log_lines.h"

namespace orvane {

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<std::string> LogMirror::append(const std::string& text) {
    log_ += text;
    return splitLines(text);
}

std::vector<std::string> LogMirror::replace(const std::string& text) {
    const bool continues = text.size() >= log_.size() && text.compare(0, log_.size(), log_) == 0;
    std::vector<std::string> added =
        splitLines(continues ? std::string_view(text).substr(log_.size()) : text);
    log_ = text;
    return added;
}

std::optional<unsigned> percentOfProgressLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.empty() || line.back() != '%') {
        return std::nullopt;
    }
    line.remove_suffix(1);
    std::size_t digits = 0;
    while (digits < line.size() && digits < 9 && line[line.size() - 1 - digits] >= '0' &&
           line[line.size() - 1 - digits] <= '9') {
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : line.substr(line.size() - digits)) {
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

} // namespace orvane
