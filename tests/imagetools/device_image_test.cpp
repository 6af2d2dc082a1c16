// Device images: "ABUF", the type digit and the raw image unchanged, beside the raw image.
#include "hex_test_files.h"
#include "imagetools/device_image.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace orvane {
namespace {

using namespace testing_support;

struct RawCase {
    const char* name;
    const char* fileName;
    std::string raw;
    const char* outputName;
    const char* warning = ""; // {raw} stands for the raw image's path
};

class PackageDeviceImageTest : public testing::TestWithParam<std::tuple<char, RawCase>> {};

TEST_P(PackageDeviceImageTest, WritesHeaderAndRawBytesBesideTheRawImage) {
    const auto& [digit, c] = GetParam();
    TempFolder folder;
    writeFile(folder.file(c.fileName), c.raw);
    // An earlier image of the same name is replaced whole.
    writeFile(folder.file(c.outputName), std::string(c.raw.size() + 50, 'x'));

    const PackageOutcome outcome = PackageDeviceImage(digit, folder.file(c.fileName));
    ASSERT_TRUE(outcome.written) << outcome.detail;
    EXPECT_EQ(outcome.outputPath, folder.file(c.outputName));
    EXPECT_TRUE(outcome.message.empty());
    EXPECT_EQ(readFile(outcome.outputPath), std::string("ABUF") + digit + c.raw);
    EXPECT_EQ(readFile(folder.file(c.fileName)), c.raw);
    std::string warning = c.warning;
    if (const auto at = warning.find("{raw}"); at != std::string::npos) {
        warning.replace(at, 5, folder.file(c.fileName));
    }
    EXPECT_EQ(outcome.warning, warning);
}

std::string binaryImage(int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) {
        bytes += static_cast<char>((i * 131 + i / 7) & 0xFF);
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Images, PackageDeviceImageTest,
    testing::Combine(testing::Values('1', '2', '3'),
                     testing::Values(RawCase{"Empty", "empty.bin", "", "empty.dev"},
                                     RawCase{"Binary", "fw.bin", binaryImage(300000), "fw.dev"},
                                     // More than the piece the packager reads at a time.
                                     RawCase{"SeveralPieces", "big.bin", binaryImage(2621445), "big.dev"},
                                     RawCase{"SeveralDots", "fw.rev.bin", "abc", "fw.rev.dev"},
                                     RawCase{"NoExtension", "image", "abc", "image.dev"},
                                     RawCase{"AlreadyHeadered", "dev.bin", std::string("ABUF2\x00\x01", 7),
                                             "dev.dev",
                                             "{raw} already begins with a device image header (ABUF2); "
                                             "packaged as it is, behind a second header"},
                                     RawCase{"BeginsLikeAHeader", "abuf.bin", "ABUF9", "abuf.dev"})),
    [](const testing::TestParamInfo<std::tuple<char, RawCase>>& param) {
        return std::get<1>(param.param).name + std::string("Type") + std::get<0>(param.param);
    });

TEST(PackageDeviceImage, WritesToAnExplicitOutputPath) {
    TempFolder folder;
    writeFile(folder.file("fw.bin"), "raw");
    const PackageOutcome outcome = PackageDeviceImage('3', folder.file("fw.bin"), folder.file("other.img"));
    ASSERT_TRUE(outcome.written) << outcome.detail;
    EXPECT_EQ(readFile(folder.file("other.img")), "ABUF3raw");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"fw.bin", "other.img"}));
}

TEST(PackageDeviceImage, ShowsTheFetchFailureTextWhenTheRawImageCannotBeOpened) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "folder.bin");
    const std::pair<std::string, std::string> cases[] = {
        {folder.file("missing.bin"), "No such file or directory"},
        {folder.file("folder.bin"), "Is a directory"},
    };
    for (const auto& [path, reason] : cases) {
        const PackageOutcome outcome = PackageDeviceImage('1', path);
        EXPECT_FALSE(outcome.written);
        EXPECT_EQ(outcome.message, "\xE5\x8F\x96\xE6\x95\xB0\xE6\x8D\xAE faiture !");
        EXPECT_EQ(outcome.message, "取数据 faiture !");
        EXPECT_EQ(outcome.detail, "Cannot read " + path + ": " + reason);
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"folder.bin"});
}

TEST(PackageDeviceImage, ReportsAnOutputThatCannotBeWritten) {
    TempFolder folder;
    writeFile(folder.file("fw.bin"), "raw");
    writeFile(folder.file("plain"), "a file, not a folder");
    std::filesystem::create_directory(folder.path() / "fw.dev");

    PackageOutcome outcome = PackageDeviceImage('2', folder.file("fw.bin"));
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.message, "Cannot write " + folder.file("fw.dev") + ": Is a directory");

    outcome = PackageDeviceImage('2', folder.file("fw.bin"), folder.file("plain/fw.dev"));
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.message, "Cannot write " + folder.file("plain/fw.dev") + ": Not a directory");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"fw.bin", "fw.dev", "plain"}));
}

TEST(PackageDeviceImage, RefusesTypesTheCameraDoesNotKnow) {
    TempFolder folder;
    writeFile(folder.file("fw.bin"), "raw");
    for (const char digit : {'0', '4', 'A', '\0'}) {
        const PackageOutcome outcome = PackageDeviceImage(digit, folder.file("fw.bin"));
        EXPECT_FALSE(outcome.written);
        EXPECT_FALSE(outcome.message.empty());
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"fw.bin"});
}

} // namespace
} // namespace orvane
