// Labels as scanners and people give them: what is taken as it stands, trimmed, or refused
// with its reason; the queue that hands them out within their window; lines as scanners end them.
#include "station/label_queue.h"
#include "station/label_source.h"
#include "station/unit_label.h"
#include "text/string_table.h"
#include "text/text_ids.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;

struct LabelCase {
    const char* name;
    std::string text;
    const char* taken;  // null: refused
    int reason;         // the refusal's text id
    const char* detail; // a word the refusal must name: the byte, the character, the count
};

void PrintTo(const LabelCase& row, std::ostream* out) {
    *out << row.name;
}

std::string repeated(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

class UnitLabelCheck : public ::testing::TestWithParam<LabelCase> {};

TEST_P(UnitLabelCheck, TakenOrRefusedWithItsReason) {
    const LabelCase& row = GetParam();
    for (const TextLanguage language : {TextLanguage::English, TextLanguage::Chinese}) {
        const LabelCheck check = checkUnitLabel(row.text, language);
        if (row.taken != nullptr) {
            EXPECT_EQ(check.label, std::optional<std::string>(row.taken));
            continue;
        }
        ASSERT_FALSE(check.label) << *check.label;
        const std::string_view pattern = textOf(row.reason, language);
        EXPECT_EQ(check.refusal.substr(0, 4), pattern.substr(0, 4)) << check.refusal;
        EXPECT_NE(check.refusal.find(row.detail), std::string::npos) << check.refusal;
    }
}

const std::string cjk128 = repeated("\xe5\x8d\x95", 128); // 单
const std::string ascii128 = repeated("a", 128);

const LabelCase labelCases[] = {
    {"Plain", "SN-0042", "SN-0042", 0, ""},
    {"SpacesAroundTrimmed", "  SN 0042 \xe3\x80\x80", "SN 0042", 0, ""},
    {"OneCharacter", "7", "7", 0, ""},
    {"HundredTwentyEightCjkTaken", cjk128, cjk128.c_str(), 0, ""},
    {"HundredTwentyNineRefused", repeated("a", 129), nullptr, IDS_LABEL_TOO_LONG, "129"},
    {"TrimmedBeforeCounting", " " + ascii128 + " ", ascii128.c_str(), 0, ""},
    {"Empty", "", nullptr, IDS_LABEL_EMPTY, ""},
    {"OnlySpaces", "   \xc2\xa0 ", nullptr, IDS_LABEL_EMPTY, ""},
    {"Escape", "SN\x1b[2J", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+001B"},
    {"TabInside", "SN\t42", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+0009"},
    {"Delete", "SN\x7f", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+007F"},
    {"C1Control", "SN\xc2\x85", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+0085"},
    {"RightToLeftOverride",
     "SN\xe2\x80\xae"
     "24",
     nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+202E"},
    {"ZeroWidthSpace", "SN\xe2\x80\x8b", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+200B"},
    {"LineSeparator", "SN\xe2\x80\xa8", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+2028"},
    {"ByteOrderMark", "\xef\xbb\xbfSN", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+FEFF"},
    {"TagCharacter", "SN\xf3\xa0\x80\x81", nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+E0001"},
    {"NulInside",
     std::string("SN\0"
                 "42",
                 5),
     nullptr, IDS_LABEL_HIDDEN_CHARACTER, "U+0000"},
    {"Latin1Byte", "SN\xe9", nullptr, IDS_LABEL_NOT_UTF8, "3"},
    {"OverlongSlash", "\xc0\xaf", nullptr, IDS_LABEL_NOT_UTF8, "1"},
    {"Surrogate", "SN\xed\xa0\x80", nullptr, IDS_LABEL_NOT_UTF8, "3"},
    {"BeyondUnicode", "\xf4\x90\x80\x80", nullptr, IDS_LABEL_NOT_UTF8, "1"},
    {"CutCharacter", "SN\xe5\x8d", nullptr, IDS_LABEL_NOT_UTF8, "3"},
};

INSTANTIATE_TEST_SUITE_P(Hostile, UnitLabelCheck, ::testing::ValuesIn(labelCases),
                         [](const auto& row) { return std::string(row.param.name); });

// "ms+label" a label read then, "ms?" a camera plugged then: what it is given ("-" none),
// "ms!" the labels dropped by then.
struct QueueCase {
    const char* name;
    const char* acts;
    const char* trace;
};

class LabelQueueRules : public ::testing::TestWithParam<QueueCase> {};

TEST_P(LabelQueueRules, Trace) {
    LabelQueue queue(120s);
    const LabelQueue::TimePoint start{};
    std::istringstream acts(GetParam().acts);
    std::string trace;
    for (std::string act; acts >> act;) {
        const std::size_t mark = act.find_first_of("+?!");
        const auto at = start + std::chrono::milliseconds(std::stol(act.substr(0, mark)));
        if (act[mark] == '+') {
            queue.push(act.substr(mark + 1), at);
        } else if (act[mark] == '?') {
            trace += queue.take(at).value_or("-") + " ";
        } else {
            for (const std::string& dropped : queue.expire(at)) {
                trace += "x" + dropped + " ";
            }
        }
    }
    EXPECT_EQ(trace, GetParam().trace);
}

const QueueCase queueCases[] = {
    {"FirstReadFirstGiven", "0+A 10+B 20? 30? 40?", "A B - "},
    {"NoneYetNoneGiven", "0? 5+A 10?", "- A "},
    {"AtItsWindowStillGiven", "0+A 120000?", "A "},
    {"PastItsWindowNotGiven", "0+A 120001?", "- "},
    {"AnOldOneDoesNotHideANewOne", "0+A 60000+B 120001?", "B "},
    {"ExpireSaysTheOldOnesInOrder", "0+A 1+B 90000+C 120002! 120003?", "xA xB C "},
};

INSTANTIATE_TEST_SUITE_P(Window, LabelQueueRules, ::testing::ValuesIn(queueCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct LinesCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
};

class ScanLinesRules : public ::testing::TestWithParam<LinesCase> {};

TEST_P(ScanLinesRules, CutAsScannersEndThem) {
    ScanLines lines;
    for (const std::string& chunk : GetParam().chunks) {
        lines.feed(chunk);
    }
    EXPECT_EQ(lines.takeLines(), GetParam().lines);
    EXPECT_TRUE(lines.takeLines().empty());
}

const std::string longCjk = repeated("\xe5\x8d\x95", 400);

const LinesCase linesCases[] = {
    {"AnyLineEnd", {"A\rB\nC\r\nD"}, {"A", "B", "C"}},
    {"SplitAcrossReads", {"SN-", "00", "42\r", "\n"}, {"SN-0042"}},
    {"EmptyLinesAreNone", {"\r\n\r\n\n"}, {}},
    {"OverlongKeptCutBetweenCharacters", {longCjk + "\nok\n"}, {longCjk.substr(0, 1023), "ok"}},
};

INSTANTIATE_TEST_SUITE_P(Scanner, ScanLinesRules, ::testing::ValuesIn(linesCases),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace orvane
