// Moments as `records` reads them from a technician and writes them in its table: ISO 8601 in
// UTC, with offsets, and in local time across daylight saving time.
#include "records/record_time.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace orvane {
namespace {

// Central European time without the time zone database: +01:00, +02:00 from the last Sunday
// of March to the last Sunday of October.
class CentralEuropeanTime : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        saved_ = zone != nullptr ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> saved_;
};

// 2026-12-09T13:30:00Z in milliseconds since 1970.
constexpr std::int64_t dec9 = 1796823000000;
constexpr std::int64_t hour = 3600000;

TEST_F(CentralEuropeanTime, ParsesIsoMoments) {
    struct Case {
        const char* text;
        bool endOfRange;
        std::optional<std::int64_t> expected;
    };
    const std::vector<Case> cases{
        {"2026-12-09T13:30:00Z", false, dec9},
        {"2026-12-09T13:30Z", false, dec9},
        {"2026-12-09t13:30:00z", false, dec9},
        {"2026-12-09T13:30:00.25Z", false, dec9 + 250},
        {"2026-12-09T13:30:00,999999Z", false, dec9 + 999}, // cut, never rounded up
        {"2026-12-09T14:30+01:00", false, dec9},
        {"2026-12-09T08:00-0530", false, dec9},
        {"2026-12-09 14:30", false, dec9},                          // local, winter
        {"2026-07-09T14:30", false, dec9 - 153 * 24 * hour - hour}, // local, summer
        {"2026-12-09", false, dec9 - 14 * hour - 30 * 60000},       // local midnight
        {"2026-12-09", true, dec9 + 10 * hour - 30 * 60000},        // up to the end of the day
        {"2026-12-31", true, dec9 + 22 * 24 * hour + 10 * hour - 30 * 60000},
        {"2028-02-29T00:00Z", false, 1835395200000},
        {"2026-02-29", false, std::nullopt},
        {"2026-13-01", false, std::nullopt},
        {"2026-12-9", false, std::nullopt},
        {"2026-12-09T24:00", false, std::nullopt},
        {"2026-12-09T13:60", false, std::nullopt},
        {"2026-12-09T13:30:61Z", false, std::nullopt},
        {"2026-12-09T13:30Z junk", false, std::nullopt},
        {"2026-12-09T13:30+1:00", false, std::nullopt},
        {"2026-12-09T13:30.5Z", false, std::nullopt},
        {"2026-12-09Z", false, std::nullopt},
        {"", false, std::nullopt},
        {"yesterday", false, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseMoment(c.text, c.endOfRange), c.expected) << c.text;
    }
}

TEST_F(CentralEuropeanTime, WritesIsoMoments) {
    EXPECT_EQ(isoMoment(dec9 + 999, true), "2026-12-09T13:30:00Z");
    EXPECT_EQ(isoMoment(dec9 + 999, false), "2026-12-09T14:30:00+01:00");
    EXPECT_EQ(isoMoment(dec9 - 153 * 24 * hour, false), "2026-07-09T15:30:00+02:00");
    EXPECT_EQ(isoMoment(-1, true), "1969-12-31T23:59:59Z");
    // What the table shows reads back as the same second.
    EXPECT_EQ(parseMoment(isoMoment(dec9 + 999, false)), dec9);
}

} // namespace
} // namespace orvane
