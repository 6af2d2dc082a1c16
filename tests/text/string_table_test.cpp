// The string table: exact bytes of the texts whose spaces, line feeds and punctuation matter,
// and lookups that follow each thread's own language.
#include "text/string_table.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace orvane {
namespace {

// The dialog's own texts, 101 to 124.
TEST(StringTable, EveryDialogTextExistsInBothLanguages) {
    for (int id = 101; id <= 124; ++id) {
        EXPECT_FALSE(textOf(id, TextLanguage::English).empty()) << id;
        EXPECT_FALSE(textOf(id, TextLanguage::Chinese).empty()) << id;
    }
    EXPECT_TRUE(textOf(100, TextLanguage::English).empty());
    EXPECT_TRUE(textOf(125, TextLanguage::Chinese).empty());
}

struct ExactText {
    int id;
    std::string_view english;
    std::string_view chinese;
};

class ExactTextTest : public testing::TestWithParam<ExactText> {};

TEST_P(ExactTextTest, BytesAsShown) {
    EXPECT_EQ(textOf(GetParam().id, TextLanguage::English), GetParam().english);
    EXPECT_EQ(textOf(GetParam().id, TextLanguage::Chinese), GetParam().chinese);
}

INSTANTIATE_TEST_SUITE_P(
    SpacesFeedsAndPunctuation, ExactTextTest,
    testing::Values(ExactText{101, "Aboat Orvane(&A)...",
                              "\xE5\x85\xB3\xE4\xBA\x8E"
                              "Orvane(&A)..."},
                    ExactText{103, "Port:", "\xE4\xB8\xB2\xE5\x8F\xA3\xEF\xBC\x9A"}, // full-width colon
                    ExactText{105, "PortOpen ", "打开串口"}, ExactText{106, "PortClose ", "关闭串口"},
                    ExactText{107, "Select File ", "选择文件"},
                    ExactText{108, "Update MainBoard\n\n", "升级主控板"},
                    ExactText{113, "Send updated datas  progress:", "发送更新数据:进度："},
                    ExactText{118, "Serial ports close fail !", "串口关闭失败！"},
                    ExactText{121, "Update was failed !", "升级失败！"},
                    ExactText{122, "Please Select File !", "请选择文件！"},
                    ExactText{123, "Update MotorBoard\n\n", "升级电机板"}));

TEST(StringTable, ProgressTextMixesAsciiAndFullWidthColons) {
    const auto text = textOf(IDS_PROGRESS, TextLanguage::Chinese);
    EXPECT_NE(text.find(":"), std::string_view::npos);
    EXPECT_TRUE(text.ends_with("\xEF\xBC\x9A"));
}

TEST(TextLanguage, FlagOneIsEnglishEverythingElseChinese) {
    for (int flag : {0, 1, 2, 255}) {
        SetTextLanguage(static_cast<std::uint8_t>(flag));
        EXPECT_EQ(threadLanguage(), flag == 1 ? TextLanguage::English : TextLanguage::Chinese) << flag;
    }
    SetTextLanguage(1);
}

TEST(TextLanguage, TwoThreadsLookUpInTheirOwnLanguagesAtOnce) {
    // A rendezvous on a condition variable: GCC 12's std::barrier can miss its wake-up on
    // Windows (no futex there) and hung this test under Wine.
    std::mutex mutex;
    std::condition_variable arrived;
    int waiting = 0;
    const auto meet = [&] {
        std::unique_lock lock(mutex);
        ++waiting;
        arrived.notify_all();
        arrived.wait(lock, [&] { return waiting == 2; });
    };
    std::string english;
    std::string chinese;
    std::thread a([&] {
        SetTextLanguage(1);
        meet();
        for (int i = 0; i < 1000; ++i) {
            english = loadText(IDS_START);
        }
    });
    std::thread b([&] {
        SetTextLanguage(0);
        meet();
        for (int i = 0; i < 1000; ++i) {
            chinese = loadText(IDS_START);
        }
    });
    a.join();
    b.join();
    EXPECT_EQ(english, "Start");
    EXPECT_EQ(chinese, "开始");
}

TEST(TextLanguage, NewThreadStartsInEnglish) {
    SetTextLanguage(0);
    std::string seen;
    std::thread([&] { seen = loadText(IDS_START); }).join();
    EXPECT_EQ(seen, "Start");
    SetTextLanguage(1);
}

TEST(FillText, PlaceholdersAreFilledOnce) {
    EXPECT_EQ(fillText("{0} line {1}: {2}", {"app.hex", "7", "bad checksum"}),
              "app.hex line 7: bad checksum");
    EXPECT_EQ(fillText("{1}{0}", {"a", "b"}), "ba");
    // An argument that itself looks like a placeholder is not expanded again.
    EXPECT_EQ(fillText("{0}", {"{1}", "x"}), "{1}");
    EXPECT_EQ(fillText("{5} {x} {", {"a"}), "{5} {x} {");
}

} // namespace
} // namespace orvane
