// What the port box shows as ports come and go, and what the context menu offers: the
// decisions both windows only show.
#include "text/string_table.h"
#include "ui/dialog_template.h"
#include "ui/logic/context_menu.h"
#include "ui/logic/port_box.h"

#include <gtest/gtest.h>

namespace orvane::testing {
namespace {

using Entries = std::vector<PortListEntry>;

const Entries twoPorts{{"ttyUSB0", "FT232R USB UART"}, {"ttyS0", ""}};

struct GatherCase {
    const char* name;
    std::string boxText;
    Entries gathered;
    std::optional<PortBox> expected;
};

class GatheredPortBox : public ::testing::TestWithParam<GatherCase> {};

TEST_P(GatheredPortBox, FollowsTheListAndKeepsTheText) {
    const GatherCase& c = GetParam();
    EXPECT_EQ(gatheredPortBox(twoPorts, c.boxText, c.gathered), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    PortBox, GatheredPortBox,
    ::testing::Values(
        // Nothing changed: the box is left alone, typing and cursor included.
        GatherCase{"SameList", "/tmp/cam", twoPorts, std::nullopt},
        GatherCase{"TypedTextStays",
                   "/tmp/cam",
                   {{"ttyACM0", ""}, {"ttyUSB0", "FT232R USB UART"}},
                   PortBox{{{"ttyACM0", ""}, {"ttyUSB0", "FT232R USB UART"}}, -1, "/tmp/cam"}},
        GatherCase{"ChosenPortStaysChosen",
                   "ttyS0",
                   {{"ttyACM0", ""}, {"ttyS0", ""}},
                   PortBox{{{"ttyACM0", ""}, {"ttyS0", ""}}, 1, "ttyS0"}},
        GatherCase{"NamesCompareExactly", "ttys0", {{"ttyS0", ""}}, PortBox{{{"ttyS0", ""}}, -1, "ttys0"}},
        GatherCase{"OnlyADescriptionChanged",
                   "ttyUSB0",
                   {{"ttyUSB0", "FT232R USB UART (busy)"}, {"ttyS0", ""}},
                   PortBox{{{"ttyUSB0", "FT232R USB UART (busy)"}, {"ttyS0", ""}}, 0, "ttyUSB0"}},
        GatherCase{"LastPortUnplugged", "ttyUSB0", {}, PortBox{{}, -1, "ttyUSB0"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PortBox, ListedAtStartWithTheFirstChosen) {
    EXPECT_EQ(listedPortBox(twoPorts), (PortBox{twoPorts, 0, "ttyUSB0"}));
    EXPECT_EQ(listedPortBox({}), (PortBox{{}, -1, ""}));
}

MenuEntry command(int id, std::string text) {
    return {MenuEntry::Kind::Command, id, std::move(text), false};
}

TEST(ContextMenu, PackagingThenLowLatencyThenAbout) {
    const MenuEntry separator{};
    const std::vector<MenuEntry> packaging{
        command(ID_PACKAGE_TYPE1, "Package device image, type &1 (ABUF1)..."),
        command(ID_PACKAGE_TYPE2, "Package device image, type &2 (ABUF2)..."),
        command(ID_PACKAGE_TYPE3, "Package device image, type &3 (ABUF3)..."),
    };
    const auto english = [](int id) { return textOf(id, TextLanguage::English); };
    for (const bool on : {false, true}) {
        std::vector<MenuEntry> expected = packaging;
        expected.push_back(separator);
        expected.push_back({MenuEntry::Kind::Check, ID_LOW_LATENCY, "&Low-latency replies", on});
        expected.push_back(separator);
        expected.push_back(command(IDM_ABOUTBOX, "Aboat Orvane(&A)..."));
        EXPECT_EQ(contextMenuEntries(on, english), expected) << on;
    }
    // Without an about text neither the item nor its separator.
    const auto noAbout = [](int id) {
        return id == IDS_ABOUTBOX ? std::string_view{} : textOf(id, TextLanguage::English);
    };
    const std::vector<MenuEntry> entries = contextMenuEntries(false, noAbout);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries.back().command, ID_LOW_LATENCY);
}

} // namespace
} // namespace orvane::testing
