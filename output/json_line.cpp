#include "output/json_line.h"

#include <cmath>
#include <cstdio>

namespace orvane {

std::string jsonLine(const JsonFields& fields) {
    const std::string text = fields.dump(-1, ' ', false, JsonFields::error_handler_t::replace);
    // DEL may only stand inside a string here, where \u007f says the same thing.
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        if (c == '\x7f') {
            line += "\\u007f";
        } else {
            line += c;
        }
    }
    return line;
}

JsonFields oneDecimal(double value) {
    if (!std::isfinite(value)) {
        return nullptr;
    }
    return std::round(value * 10.0) / 10.0;
}

std::string utcTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto milliseconds = floor<std::chrono::milliseconds>(time);
    const auto day = floor<days>(milliseconds);
    const year_month_day date{day};
    const hh_mm_ss clock{milliseconds - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

JsonFields eventFields(std::string_view kind, const JsonFields& fields, std::string_view port) {
    JsonFields event{{"event", kind}, {"time", utcTimestamp(std::chrono::system_clock::now())}};
    if (!port.empty()) {
        event["port"] = port;
    }
    for (const auto& [key, value] : fields.items()) {
        event[key] = value;
    }
    return event;
}

} // namespace orvane
