// The page and the command line write their JSON through one writer: whatever a slot or port
// name holds (control characters, DEL, a stray byte), a browser and a script read the same.
#include "dashboard/station_json.h"
#include "output/console.h"
#include "station/slot_event.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <string>

namespace orvane {
namespace {

std::string withoutTime(const std::string& line) {
    return std::regex_replace(line, std::regex(R"("time":"[^"]*")"), R"("time":"")");
}

bool holdsRawControl(const std::string& line) {
    return std::any_of(line.begin(), line.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; });
}

TEST(PageJson, EscapesEveryNameAsTheCommandLineDoes) {
    const std::string names[] = {"del\x7f",    "tab\tline\nfeed", "esc\x1b[31m", std::string("nul\0", 4),
                                 "c1\xc2\x9b", "stray\xff"};
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), std::fclose);
    ASSERT_TRUE(out);
    Console console(OutputMode::Json, out.get());
    std::string fromCommandLine;
    console.tapEvents([&](const std::string& line) { fromCommandLine = line; });
    for (const std::string& name : names) {
        StationEvent event{StationEvent::Kind::Appeared, {}};
        event.slot.name = name;
        event.slot.port = "/dev/" + name;
        event.slot.present = true;
        console.event(slotEventKind, slotEventFields(event), PortTag{event.slot.port});
        const std::string fromPage = contractSlotEvent(event);
        EXPECT_EQ(withoutTime(fromPage), withoutTime(fromCommandLine)) << name;
        EXPECT_FALSE(holdsRawControl(fromPage)) << fromPage;

        const std::string snapshot = jsonLine(stationJson({name, "", 0, {event.slot}, {}}));
        EXPECT_FALSE(holdsRawControl(snapshot)) << snapshot;
        EXPECT_EQ(JsonFields::parse(snapshot)["slots"][0]["slot"], JsonFields::parse(fromPage)["slot"]);
    }
}

// No camera counted is no yield (null), not a yield of 0; else a percent to a tenth. The page
// says "retry 1 of R" with the shift's R.
TEST(PageJson, YieldIsNullUntilACameraIsCountedAndRetriesAreGiven) {
    const std::pair<Tally, JsonFields> cases[] = {
        {{0, 0}, nullptr}, {{0, 1}, 0.0}, {{3, 1}, 75.0}, {{2, 1}, 66.7}, {{1, 0}, 100.0}};
    for (const auto& [tally, yield] : cases) {
        StationSnapshot now{"fw.bin", "", 0, {SlotSnapshot{.name = "left", .tally = tally}}, tally, 2};
        const JsonFields page = JsonFields::parse(jsonLine(stationJson(now)));
        EXPECT_EQ(page["total"]["yield"], yield) << tally.succeeded << '/' << tally.notSucceeded;
        EXPECT_EQ(page["slots"][0]["tally"]["yield"], yield);
        EXPECT_EQ(page["retries"], 2);
        EXPECT_EQ(page["total"]["firstPassYield"], nullptr);
    }
    // A retry that passes: failed the first pass, passed in the end.
    Tally retried;
    retried.units.add("plug p", "failed");
    retried.units.add("plug p", "succeeded");
    StationSnapshot now;
    now.total = retried;
    const JsonFields page = JsonFields::parse(jsonLine(stationJson(now)));
    EXPECT_EQ(std::pair(page["total"]["firstPassYield"], page["total"]["finalYield"]),
              std::pair(JsonFields(0.0), JsonFields(100.0)));
}

} // namespace
} // namespace orvane
