#include "records/record_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace orvane {
namespace {

// A date and time of day as written, before it is placed in a time zone.
struct Civil {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool done() const { return at_ == text_.size(); }
    bool take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool takeAny(std::string_view set, char& taken) {
        if (at_ < text_.size() && set.find(text_[at_]) != std::string_view::npos) {
            taken = text_[at_++];
            return true;
        }
        return false;
    }
    // Exactly count decimal digits.
    bool number(int count, int& value) {
        value = 0;
        for (int i = 0; i < count; ++i, ++at_) {
            if (at_ == text_.size() || text_[at_] < '0' || text_[at_] > '9') {
                return false;
            }
            value = value * 10 + (text_[at_] - '0');
        }
        return true;
    }
    // One or more digits of a fraction of a second: milliseconds, the rest cut.
    bool fraction(int& milliseconds) {
        milliseconds = 0;
        int digits = 0;
        for (; at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; ++at_, ++digits) {
            if (digits < 3) {
                milliseconds = milliseconds * 10 + (text_[at_] - '0');
            }
        }
        for (int i = digits; i < 3; ++i) {
            milliseconds *= 10;
        }
        return digits > 0;
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

std::int64_t floorDivide(std::int64_t value, std::int64_t by) {
    return value / by - (value % by < 0 ? 1 : 0);
}

std::chrono::year_month_day dateOf(const Civil& civil) {
    return std::chrono::year{civil.year} / std::chrono::month{static_cast<unsigned>(civil.month)} /
           std::chrono::day{static_cast<unsigned>(civil.day)};
}

// The civil time read as UTC, in seconds since 1970.
std::int64_t utcSeconds(const Civil& civil) {
    const std::chrono::sys_days day{dateOf(civil)};
    return static_cast<std::int64_t>(day.time_since_epoch().count()) * 86400 + civil.hour * 3600 +
           civil.minute * 60 + civil.second;
}

// The civil time read in this machine's time zone.
std::optional<std::int64_t> localSeconds(const Civil& civil) {
    std::tm fields{};
    fields.tm_year = civil.year - 1900;
    fields.tm_mon = civil.month - 1;
    fields.tm_mday = civil.day;
    fields.tm_hour = civil.hour;
    fields.tm_min = civil.minute;
    fields.tm_sec = civil.second;
    fields.tm_isdst = -1; // whatever daylight saving time says on that day
    const std::time_t seconds = std::mktime(&fields);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds);
}

Civil civilOfUtc(std::int64_t seconds) {
    const std::int64_t days = floorDivide(seconds, 86400);
    const std::int64_t rest = seconds - days * 86400;
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{days}}};
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60),
            static_cast<int>(rest % 60)};
}

std::string textOf(const Civil& civil) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", civil.year, civil.month, civil.day,
                  civil.hour, civil.minute, civil.second);
    return text;
}

// Z, or an offset from UTC in seconds: +01:00, -0530.
bool readZone(Cursor& cursor, std::optional<int>& offset) {
    char sign = 0;
    if (cursor.take('Z') || cursor.take('z')) {
        offset = 0;
    } else if (cursor.takeAny("+-", sign)) {
        int hours = 0;
        int minutes = 0;
        if (!cursor.number(2, hours)) {
            return false;
        }
        (void)cursor.take(':'); // +01:00 and +0100 alike
        if (!cursor.number(2, minutes) || hours > 23 || minutes > 59) {
            return false;
        }
        offset = (sign == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    }
    return true;
}

// HH:MM[:SS[.fff]] after the date.
bool readTimeOfDay(Cursor& cursor, Civil& civil) {
    if (!cursor.number(2, civil.hour) || !cursor.take(':') || !cursor.number(2, civil.minute)) {
        return false;
    }
    if (cursor.take(':')) {
        if (!cursor.number(2, civil.second)) {
            return false;
        }
        char mark = 0;
        if (cursor.takeAny(".,", mark) && !cursor.fraction(civil.millisecond)) {
            return false;
        }
    }
    return civil.hour < 24 && civil.minute < 60 && civil.second < 60;
}

} // namespace

std::optional<std::int64_t> parseMoment(std::string_view text, bool endOfRange) {
    Cursor cursor(text);
    Civil civil;
    if (!cursor.number(4, civil.year) || !cursor.take('-') || !cursor.number(2, civil.month) ||
        !cursor.take('-') || !cursor.number(2, civil.day) || !dateOf(civil).ok()) {
        return std::nullopt;
    }
    if (cursor.done()) {
        civil.day += endOfRange ? 1 : 0; // mktime carries it into the next month
        const auto seconds = localSeconds(civil);
        return seconds ? std::optional(*seconds * 1000) : std::nullopt;
    }
    char mark = 0;
    std::optional<int> offset;
    if (!cursor.takeAny("Tt ", mark) || !readTimeOfDay(cursor, civil) || !readZone(cursor, offset) ||
        !cursor.done()) {
        return std::nullopt;
    }
    const auto seconds = offset ? std::optional(utcSeconds(civil) - *offset) : localSeconds(civil);
    return seconds ? std::optional(*seconds * 1000 + civil.millisecond) : std::nullopt;
}

std::string isoMoment(std::int64_t milliseconds, bool utc) {
    const std::int64_t seconds = floorDivide(milliseconds, 1000);
    const std::time_t asTime = static_cast<std::time_t>(seconds);
    // The command reads its records on one thread: localtime's shared result is safe here.
    const std::tm* local = utc ? nullptr : std::localtime(&asTime);
    if (local == nullptr) {
        return textOf(civilOfUtc(seconds)) + "Z";
    }
    const Civil civil{local->tm_year + 1900, local->tm_mon + 1, local->tm_mday,
                      local->tm_hour,        local->tm_min,     local->tm_sec};
    const std::int64_t offset = utcSeconds(civil) - seconds;
    const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', static_cast<int>(minutes / 60),
                  static_cast<int>(minutes % 60));
    return textOf(civil) + zone;
}

} // namespace orvane
