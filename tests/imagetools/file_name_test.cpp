// Output names: the merged file and the device image are named after their input.
#include "imagetools/device_image.h"
#include "imagetools/file_name.h"
#include "imagetools/hex_merge.h"

#include <gtest/gtest.h>
#include <string>

namespace orvane {
namespace {

struct NameCase {
    std::string path;
    std::string withExtension;
    std::string withoutExtension;
    std::string folder;
};

class FileNameOfPathTest : public testing::TestWithParam<NameCase> {};

TEST_P(FileNameOfPathTest, SplitsByTheLastSeparator) {
    const NameCase& c = GetParam();
    EXPECT_EQ(FileNameOfPath(c.path, true), c.withExtension);
    EXPECT_EQ(FileNameOfPath(c.path, false), c.withoutExtension);
    EXPECT_EQ(folderOf(c.path), c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileNameOfPathTest,
    testing::Values(NameCase{"/home/tech/app.hex", "app.hex", "app", "/home/tech/"},
                    NameCase{"C:\\fw\\app.hex", "app.hex", "app", "C:\\fw\\"},
                    NameCase{"app.hex", "app.hex", "app", ""}, NameCase{"/fw/app", "app", "app", "/fw/"},
                    NameCase{"/fw.d/app", "app", "app", "/fw.d/"}, NameCase{"/fw/.hex", ".hex", "", "/fw/"},
                    NameCase{"/fw/fw.rev.bin", "fw.rev.bin", "fw.rev", "/fw/"},
                    // '/' wins: a '\' after the last '/' is part of the name.
                    NameCase{"C:\\fw/sub\\app.hex", "sub\\app.hex", "sub\\app", "C:\\fw/"},
                    NameCase{"/fw/", "", "", "/fw/"}, NameCase{"", "", "", ""}));

TEST(OutputNames, MergedFileIsTheAppTitleWithAllHex) {
    EXPECT_EQ(mergedFileNameOf("/fw/app.hex"), "appall.hex");
    EXPECT_EQ(mergedFileNameOf("/fw/app"), "appall.hex");
    EXPECT_EQ(mergedFileNameOf("/fw/.hex"), "all.hex");
    EXPECT_EQ(mergedFileNameOf("C:\\fw\\cam.v2.hex"), "cam.v2all.hex");
    EXPECT_EQ(mergedPathOf("/fw/app.hex"), "/fw/appall.hex");
    EXPECT_EQ(mergedPathOf("app.hex"), "appall.hex");
}

TEST(OutputNames, DeviceImageIsTheRawTitleWithDev) {
    EXPECT_EQ(deviceImagePathOf("/fw/fw.bin"), "/fw/fw.dev");
    EXPECT_EQ(deviceImagePathOf("/fw/fw.rev.bin"), "/fw/fw.rev.dev");
    EXPECT_EQ(deviceImagePathOf("/fw/image"), "/fw/image.dev");
    EXPECT_EQ(deviceImagePathOf("fw.bin"), "fw.dev");
}

} // namespace
} // namespace orvane
