// The approved list decides whether a camera gets an image: each row is a list, an image's
// digest and board, and what the list answers (its problems, or the refusal, or approval).
#include "imagetools/approved_images.h"
#include "support/files.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace orvane {
namespace {

const std::string a(64, 'a');
const std::string b = std::string(63, 'b') + "C";

struct ApprovalCase {
    const char* name;
    std::string list;
    std::string sha256;
    std::string target;
    std::string expected; // a problem of the list, a part of the refusal, or "" for approved
};

void PrintTo(const ApprovalCase& c, std::ostream* os) {
    *os << c.name;
}

class ApprovalTest : public ::testing::TestWithParam<ApprovalCase> {};

TEST_P(ApprovalTest, Answers) {
    const ApprovalCase& c = GetParam();
    const ApprovedImagesReading reading = parseApprovedImages(c.list, "ok.sha256", TextLanguage::English);
    if (!reading.problems.empty()) {
        ASSERT_EQ(reading.problems.size(), 1U);
        ASSERT_FALSE(c.expected.empty()) << reading.problems.front();
        EXPECT_NE(reading.problems.front().find(c.expected), std::string::npos) << reading.problems.front();
        return;
    }
    const auto refusal = approvalRefusal(reading.list, c.sha256, c.target, "fw.bin", TextLanguage::English);
    if (c.expected.empty()) {
        EXPECT_FALSE(refusal) << *refusal;
    } else {
        ASSERT_TRUE(refusal);
        EXPECT_NE(refusal->find(c.expected), std::string::npos) << *refusal;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ApprovalTest,
    ::testing::Values(
        ApprovalCase{"TextModeAnyBoard", "# site list\n\n" + a + "  fw.bin\n", a, "motor", ""},
        ApprovalCase{"BinaryModeCapitalsCrlf", b + " *FW 2.bin\r\n", std::string(63, 'b') + "c", "main", ""},
        ApprovalCase{"ListedForItsBoard", a + "  fw.bin  motor\n", a, "motor", ""},
        ApprovalCase{"ListedForTwoBoards", a + "  fw.bin main\n" + a + "  fw.bin special\n", a, "special",
                     ""},
        ApprovalCase{"NotListed", a + "  fw.bin\n", b, "main",
                     "(SHA-256 bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbc) is not in "
                     "the approved "
                     "list ok.sha256"},
        ApprovalCase{"OtherBoard", "\n" + a + "  fw.bin  main\n" + a + "  fw.bin  special\n", a, "motor",
                     "is approved for main, special only (ok.sha256 line 2), not for the motor board"},
        ApprovalCase{
            "ShortDigest", a.substr(1) + "  fw.bin\n", a, "main",
            "ok.sha256 line 1: expected a SHA-256 of 64 hexadecimal digits, two spaces (or a space and "
            "*) and the image's name, as sha256sum writes them"},
        ApprovalCase{
            "OneSpace", a + " fw.bin\n", a, "main",
            "ok.sha256 line 1: expected a SHA-256 of 64 hexadecimal digits, two spaces (or a space and "
            "*) and the image's name, as sha256sum writes them"},
        ApprovalCase{"NoName", a + "  \n", a, "main", "ok.sha256 line 1: no image name after the SHA-256"},
        ApprovalCase{"MistypedBoard", a + "  fw.bin\n" + a + "  fw.bin  mian\n", a, "main",
                     "ok.sha256 line 2: mian is no board: the third column is main, motor or special"},
        ApprovalCase{"ByteOrderMark", "\xEF\xBB\xBF" + a + "  fw.bin\n", a, "main", ""},
        ApprovalCase{"NameEndingInAFarWord", a + "  fw final.bin\n" + a + "  fw 2 mainboard\n", a, "motor",
                     ""},
        ApprovalCase{
            "SwappedLettersAfterOneSpace", "\n" + a + "  fw.bin mian\n", a, "main",
            "ok.sha256 line 2: mian looks like a mistyped board (main, motor or special): correct it, "
            "or rename the image if it is part of its name"},
        ApprovalCase{"TwoEditsAfterOneSpace", a + "  fw.bin spcal\n", a, "special",
                     "line 1: spcal looks like"},
        ApprovalCase{"CapitalsAfterOneSpace", a + "  fw.bin SPECIAL\n", a, "special",
                     "line 1: SPECIAL looks like"},
        ApprovalCase{"OnlyComments", "# nothing yet\n", a, "main",
                     "The approved list ok.sha256 lists no image: nothing can be upgraded with it"}));

// A huge file (the wrong one named) is refused unread, not read whole into memory.
TEST(ApprovedList, ALargerFileThanAnyListIsRefusedUnread) {
    const test::TempFolder folder;
    const auto path = folder.path() / "approved.sha256";
    test::writeFile(path, a + "  fw.bin\n");
    std::filesystem::resize_file(path, largestApprovedList + 1);
    const ApprovedImagesReading reading = readApprovedImages(path.string(), TextLanguage::English);
    ASSERT_EQ(reading.problems.size(), 1U);
    EXPECT_NE(reading.problems[0].find("is larger than 1 MiB"), std::string::npos) << reading.problems[0];
}

} // namespace
} // namespace orvane
