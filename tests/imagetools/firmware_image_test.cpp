// What the image loader takes for firmware: HEX text (as objcopy and srec_cat write it) and
// ELF files are refused unless allowed, binary that merely starts like them is not, and an
// empty file only where the front end allows one.
#include "imagetools/firmware_image.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "text/string_table.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace orvane {
namespace {

struct KindCase {
    const char* name;
    std::string bytes;
    int refusal; // the text id, 0: taken as firmware
};

void PrintTo(const KindCase& c, std::ostream* out) {
    *out << c.name;
}

class ImageKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(ImageKind, RefusedOnlyWhenItLooksLikeNoFirmware) {
    const KindCase& c = GetParam();
    const test::TempFolder folder;
    const std::filesystem::path path = folder.path() / "kind.bin";
    test::writeFile(path, c.bytes);
    const std::string expected =
        c.refusal == 0 ? "" : fillText(textOf(c.refusal, TextLanguage::Chinese), {path.string()});

    const ImageLoading refused = loadFirmwareImage(path.string(), {}, TextLanguage::Chinese);
    const ImageLoading allowed =
        loadFirmwareImage(path.string(), {.allowAnyKind = true}, TextLanguage::English);

    EXPECT_EQ(refused.refusal, expected);
    EXPECT_EQ(refused.image.has_value(), c.refusal == 0);
    ASSERT_TRUE(allowed.image.has_value()) << allowed.refusal;
    EXPECT_EQ(allowed.image->bytes.size(), c.bytes.size());
}

const std::string startLinear = ":0400000508000000EF";

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageKind,
    ::testing::Values(KindCase{"HexWithCrLf", ":020000040800F2\r\n:0400000000200020BC\r\n:00000001FF\r\n",
                               IDS_IMAGE_IS_HEX},
                      KindCase{"HexWithLfAndBlankLines", startLinear + "\n\n:00000001FF\n\n",
                               IDS_IMAGE_IS_HEX},
                      KindCase{"HexWithoutLastLineEnd", ":00000001FF", IDS_IMAGE_IS_HEX},
                      KindCase{"Elf",
                               std::string("\x7f"
                                           "ELF\x01\x01\x01\0\0",
                                           9),
                               IDS_IMAGE_IS_ELF},
                      KindCase{"BinaryStartingWithAColon", ":00000001FF\n\x01\x02\xff", 0},
                      KindCase{"HexWithALineOfText", startLinear + "\nnot a record\n", 0},
                      KindCase{"ColonAlone", ":\n", 0},
                      KindCase{"ElfMagicCut",
                               "\x7f"
                               "EL",
                               0},
                      KindCase{"Binary", std::string("\x20\x00\x00\x20\xc1\x01\x00\x08", 8), 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FirmwareImage, EmptyOnlyWhereAllowedAndDigestOfTheBytesRead) {
    const test::TempFolder folder;
    const std::filesystem::path path = folder.path() / "empty.bin";
    test::writeFile(path, "");

    const ImageLoading refused = loadFirmwareImage(path.string(), {}, TextLanguage::English);
    const ImageLoading allowed =
        loadFirmwareImage(path.string(), {.allowEmpty = true}, TextLanguage::English);

    EXPECT_EQ(refused.refusal, fillText(textOf(IDS_IMAGE_EMPTY, TextLanguage::English), {path.string()}));
    ASSERT_TRUE(allowed.image.has_value());
    EXPECT_EQ(allowed.image->sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

} // namespace
} // namespace orvane
