// What scripts, spreadsheets and terminals read: JSON lines that stay valid whatever the job
// writes, their times, progress lines recognised in both languages, the bar's figures, CSV
// fields exactly as given, and table cells that stay on their line whatever they hold.
#include "output/csv_row.h"
#include "output/json_line.h"
#include "output/log_lines.h"
#include "output/progress_bar.h"
#include "output/text_table.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace orvane {
namespace {

TEST(JsonLine, EscapesWhatWouldBreakALineAndReplacesWhatIsNotUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"Start", "\"Start\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\fw\\app.hex", "\"C:\\\\fw\\\\app.hex\""},
        {"line\r\n", "\"line\\r\\n\""},
        {std::string("nul\0bell\a", 9), "\"nul\\u0000bell\\u0007\""},
        {"\x7f", "\"\\u007f\""},
        {"升级成功！", "\"升级成功！\""},   // UTF-8 passes through
        {"tty\xff", "\"tty\xEF\xBF\xBD\""}, // U+FFFD
        {"caf\xe9.hex", "\"caf\xEF\xBF\xBD.hex\""},
        {"\xe5\x8d", "\"\xEF\xBF\xBD\""}, // a character cut short
    };
    for (const auto& [text, quoted] : cases) {
        EXPECT_EQ(jsonLine(JsonFields{{"text", text}}), "{\"text\":" + quoted + "}") << text;
    }
}

TEST(JsonLine, KeepsFieldOrderAndTypes) {
    const JsonFields fields{{"event", "progress"},
                            {"percent", 34U},
                            {"ok", false},
                            {"rate", oneDecimal(1234.56)},
                            {"nan", oneDecimal(std::numeric_limits<double>::quiet_NaN())}};
    EXPECT_EQ(jsonLine(fields), R"({"event":"progress","percent":34,"ok":false,"rate":1234.6,"nan":null})");
}

TEST(UtcTimestamp, MillisecondsCutNotRounded) {
    using namespace std::chrono;
    const sys_days day = 2026y / December / 9;
    EXPECT_EQ(utcTimestamp(day + 2h + 41min + 8s + 123ms), "2026-12-09T02:41:08.123Z");
    EXPECT_EQ(utcTimestamp(day - 1us), "2026-12-08T23:59:59.999Z");
    EXPECT_EQ(utcTimestamp(sys_days{2000y / March / 1} - 1ms), "2000-02-29T23:59:59.999Z");
}

TEST(LogMirror, ReplacementPrintsOnlyWhatItAdds) {
    LogMirror log;
    EXPECT_EQ(log.replace("Start\r\n"), (std::vector<std::string>{"Start"}));
    EXPECT_EQ(log.append("Send Command successful !\r\n"),
              (std::vector<std::string>{"Send Command successful !"}));
    // The job keeps the last progress line and adds the outcome behind it.
    EXPECT_EQ(log.replace(log.text() + "P:100%\r\nUpdate was successful !\r\n"),
              (std::vector<std::string>{"P:100%", "Update was successful !"}));
    // A text that does not continue the log is shown whole.
    EXPECT_EQ(log.replace("Start\r\n"), (std::vector<std::string>{"Start"}));
}

TEST(PercentOfProgressLine, ReadsTheTrailingPercentage) {
    EXPECT_EQ(percentOfProgressLine("Send updated datas  progress:34%\r\n"), 34U);
    EXPECT_EQ(percentOfProgressLine("发送更新数据:进度：100%"), 100U);
    EXPECT_EQ(percentOfProgressLine("progress:0%"), 0U);
    EXPECT_EQ(percentOfProgressLine("Start"), std::nullopt);
    EXPECT_EQ(percentOfProgressLine("%"), std::nullopt);
    EXPECT_EQ(percentOfProgressLine(""), std::nullopt);
}

TEST(ProgressBar, FillsInProportionAndShowsTheFigures) {
    ProgressBarState state;
    state.percent = 50;
    state.blocksDone = 16;
    state.blockCount = 32;
    state.bytesPerSecond = 11200.0;
    state.secondsLeft = 3.0;
    EXPECT_EQ(formatProgressBar(state, 10), "[#####-----]  50%  16/32 blocks  10.9 KiB/s  0:03 left");

    const ProgressBarState start{0, 0, 33, std::nullopt, std::nullopt};
    EXPECT_EQ(formatProgressBar(start, 4), "[----]   0%  0/33 blocks  -- B/s  -:-- left");

    ProgressBarState over = state;
    over.percent = 250; // never more than a full bar
    EXPECT_EQ(formatProgressBar(over, 4).substr(0, 11), "[####] 100%");
}

// Binary units, as the station's page has them: a kibibyte is 1024 bytes.
TEST(ProgressBar, RatesInBinaryUnits) {
    const std::pair<double, const char*> cases[] = {
        {1023.0, "1023 B/s"}, {1024.0, "1.0 KiB/s"}, {11200.0, "10.9 KiB/s"}, {1572864.0, "1.5 MiB/s"}};
    for (const auto& [rate, shown] : cases) {
        EXPECT_EQ(formatRate(rate), shown) << rate;
    }
}

TEST(RecordsCsv, QuotesOnlyWhatNeedsItAndKeepsEveryByte) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"ttyUSB0", "ttyUSB0"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"no\"", "\"say \"\"no\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {"x'; DROP TABLE records; --", "x'; DROP TABLE records; --"},
        {" spaced ", " spaced "},
        {"caf\xe9 \xff\xfe", "caf\xe9 \xff\xfe"},
        {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
    };
    for (const auto& [field, expected] : cases) {
        EXPECT_EQ(csvField(field), expected) << field;
    }
    const std::vector<std::string> row{"a", "b,c", "", "d\"e"};
    EXPECT_EQ(csvRow(row), "a,\"b,c\",,\"d\"\"e\"\r\n");
}

TEST(RecordsTable, CellsCannotBreakOrColourTheTable) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"ttyUSB0", "ttyUSB0"},
        {"a\nb\r\tc", "a\\nb\\r\\tc"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"del\x7f", "del\\x7f"},
        {"\xc2\x9b"
         "31m",
         "\\u009b31m"}, // the C1 control sequence introducer
        {"Kamera \xc3\xbc \xe2\x82\xac \xf0\x9f\x93\xb7", "Kamera \xc3\xbc \xe2\x82\xac \xf0\x9f\x93\xb7"},
        {"caf\xe9", "caf\\xe9"},
        {"\xc0\xaf", "\\xc0\\xaf"},          // an overlong slash
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"}, // a surrogate
        {"cut \xe2\x82", "cut \\xe2\\x82"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(shownCell(text), expected) << text;
    }
}

} // namespace
} // namespace orvane
