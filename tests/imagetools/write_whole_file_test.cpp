// The file writer replaces a file whole or not at all and says why when it cannot.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "hex_test_files.h"
#include "imagetools/write_whole_file.h"
#include "platform/error_text.h"

namespace orvane {
namespace {

using namespace testing_support;

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(WriteWholeFile, CreatesAndReplacesWithExactlyTheBytes) {
    TempFolder folder;
    const std::string path = folder.file("out.bin");
    const std::string cases[] = {std::string("first\0\r\n\xFF", 9), std::string(100000, 'x'), "short", ""};
    for (const std::string& content : cases) {
        const FileStatus status = WriteWholeFile(path, bytesOf(content));
        ASSERT_TRUE(status.ok) << status.reason;
        EXPECT_EQ(readFile(path), content);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.bin"}) << "no temporary file is left";
    }
}

TEST(WriteWholeFile, KeepsThePermissionsOfTheFileItReplaces) {
    TempFolder folder;
    const std::string path = folder.file("out.bin");
    writeFile(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteWholeFile(path, bytesOf("new")).ok);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

struct FailureCase {
    const char* name;
    const char* target; // relative to the test folder
    int errorNumber;
};

class WriteWholeFileFails : public testing::TestWithParam<FailureCase> {};

TEST_P(WriteWholeFileFails, WithTheSystemsReasonAndNothingLeftBehind) {
    TempFolder folder;
    writeFile(folder.file("plain"), "a file, not a folder");
    std::filesystem::create_directory(folder.path() / "dir");
    writeFile(folder.file("dir/keep"), "kept");

    const FileStatus status = WriteWholeFile(folder.file(GetParam().target), bytesOf("content"));
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.errorNumber, GetParam().errorNumber);
    EXPECT_EQ(status.reason, systemErrorText(GetParam().errorNumber));
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"dir", "plain"}));
    EXPECT_EQ(readFile(folder.file("dir/keep")), "kept");
}

INSTANTIATE_TEST_SUITE_P(Targets, WriteWholeFileFails,
                         testing::Values(FailureCase{"ParentIsAFile", "plain/out.bin", ENOTDIR},
                                         FailureCase{"NoSuchFolder", "missing/out.bin", ENOENT},
                                         FailureCase{"TargetIsAFolder", "dir", EISDIR}),
                         [](const testing::TestParamInfo<FailureCase>& param) { return std::string(param.param.name); });

// Only permissions stop the write here, and they do not stop root.
TEST(WriteWholeFile, LeavesTheOldFileInAReadOnlyFolder) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    TempFolder folder;
    const std::string path = folder.file("out.bin");
    writeFile(path, "old");
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
    const FileStatus status = WriteWholeFile(path, bytesOf("new"));
    ::chmod(folder.path().c_str(), 0755);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.errorNumber, EACCES);
    EXPECT_EQ(readFile(path), "old");
}

} // namespace
} // namespace orvane
