// Writing and reading files on Windows: a folder deeper than MAX_PATH is written, read and
// told apart like any other, and a file replaced keeps its attributes. (Wine lets long paths
// through in any form; Windows only in the \\?\ form, whose making is checked on its own.)
#include "imagetools/file_identity.h"
#include "imagetools/readable_file.h"
#include "imagetools/write_whole_file.h"
#include "platform/windows_path.h"
#include "platform/windows_text.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace orvane {
namespace {

// A folder of its own in the system's temporary folder, deleted with what the tests put in it
// (its depth may exceed MAX_PATH, so everything goes through the \\?\ form).
class LongFolder {
  public:
    LongFolder() {
        wchar_t temporary[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
        root_ = std::wstring(L"\\\\?\\") + std::wstring(temporary, length) + L"orvane-" +
                std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(root_.c_str(), nullptr);
        deepest_ = root_;
    }
    ~LongFolder() {
        for (const std::wstring& file : files_) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
            RemoveDirectoryW(folder->c_str());
        }
        RemoveDirectoryW(root_.c_str());
    }
    // Goes one folder of 100 characters deeper.
    void deepen() {
        deepest_ += L"\\" + std::wstring(100, L'd');
        CreateDirectoryW(deepest_.c_str(), nullptr);
        folders_.push_back(deepest_);
    }
    // A file in the deepest folder, as the program is given it (UTF-8, no \\?\).
    std::string file(const std::wstring& name) {
        files_.push_back(deepest_ + L"\\" + name);
        return narrowText(files_.back().substr(4));
    }
    const std::wstring& lastWide() const { return files_.back(); }

  private:
    std::wstring root_;
    std::wstring deepest_;
    std::vector<std::wstring> folders_;
    std::vector<std::wstring> files_;
};

std::vector<std::uint8_t> contentOf(const std::string& path) {
    FileStatus status;
    auto file = ReadableFile::open(path, status);
    EXPECT_TRUE(file.has_value()) << status.reason;
    if (!file) {
        return {};
    }
    std::vector<std::uint8_t> bytes(file->size());
    EXPECT_TRUE(file->readAll(bytes).ok);
    return bytes;
}

// The \\?\ form takes a path as it is: "/", "." and ".." must be resolved before it is put on.
TEST(WindowsFilePath, AbsoluteResolvedAndInTheLongForm) {
    wchar_t current[MAX_PATH + 1];
    const std::wstring here(current, GetCurrentDirectoryW(MAX_PATH + 1, current));
    EXPECT_EQ(windowsFilePath("C:\\out\\..\\fw/a.hex"), L"\\\\?\\C:\\fw\\a.hex");
    EXPECT_EQ(windowsFilePath("\\\\server\\share\\a.hex"), L"\\\\?\\UNC\\server\\share\\a.hex");
    EXPECT_EQ(windowsFilePath("a.hex"), L"\\\\?\\" + here + L"\\a.hex");
    EXPECT_EQ(windowsFilePath("\\\\?\\C:\\x\\..\\y"), L"\\\\?\\C:\\x\\..\\y");
    EXPECT_EQ(windowsFilePath("\\\\.\\COM3"), L"\\\\.\\COM3");
    EXPECT_EQ(windowsFilePath("NUL"), L"\\\\.\\NUL");
    EXPECT_EQ(windowsFilePath(""), L"");
}

TEST(WriteWholeFileWindows, WritesReadsAndKnowsAFileDeeperThanMaxPath) {
    LongFolder folder;
    for (int i = 0; i < 3; ++i) {
        folder.deepen();
    }
    const std::string output = folder.file(L"合并.hex");
    ASSERT_GT(output.size(), 300u);
    const std::vector<std::uint8_t> bytes = {0x00, 0x1A, 0xFF, 0x0D, 0x0A};
    const FileStatus written = WriteWholeFile(output, bytes);
    ASSERT_TRUE(written.ok) << written.reason;
    EXPECT_EQ(contentOf(output), bytes);
    const std::vector<std::uint8_t> replacement = {0x11, 0x13};
    ASSERT_TRUE(WriteWholeFile(output, replacement).ok);
    EXPECT_EQ(contentOf(output), replacement);
    const std::string other = folder.file(L"other.bin");
    ASSERT_TRUE(WriteWholeFile(other, bytes).ok);
    ASSERT_TRUE(fileIdentityOf(output).has_value());
    EXPECT_EQ(fileIdentityOf(output), fileIdentityOf(output));
    EXPECT_NE(fileIdentityOf(output), fileIdentityOf(other));
}

TEST(WriteWholeFileWindows, ReplacedFileKeepsItsAttributes) {
    LongFolder folder;
    const std::string output = folder.file(L"image.dev");
    ASSERT_TRUE(WriteWholeFile(output, std::vector<std::uint8_t>{1, 2, 3}).ok);
    ASSERT_TRUE(SetFileAttributesW(folder.lastWide().c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    const std::vector<std::uint8_t> replacement = {4, 5};
    const FileStatus written = WriteWholeFile(output, replacement);
    ASSERT_TRUE(written.ok) << written.reason;
    EXPECT_EQ(contentOf(output), replacement);
    const DWORD attributes = GetFileAttributesW(folder.lastWide().c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

} // namespace
} // namespace orvane
