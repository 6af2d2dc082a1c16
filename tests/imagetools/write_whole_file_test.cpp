// The file writer replaces a file whole or not at all and says why when it cannot.
#include "hex_test_files.h"
#include "imagetools/write_whole_file.h"
#include "platform/error_text.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct Link {
    const char* at;     // relative to the test folder
    std::string target; // as stored in the link; "@" stands for the test folder
};

struct TargetCase {
    const char* name;
    std::vector<Link> links; // the first is out.bin
    bool fifo;               // the last link's target is a FIFO that a reader drains
    const char* landsIn;     // the file that ends up holding the bytes, else nullptr
};

void PrintTo(const TargetCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteWholeFileTarget : public testing::TestWithParam<TargetCase> {};

// out.bin is a link, or a FIFO: the links stay, the bytes go where they point.
TEST_P(WriteWholeFileTarget, WritesWhereTheLinksPointAndKeepsThem) {
    const TargetCase& c = GetParam();
    TempFolder folder;
    writeFile(folder.file("old.bin"), "old");
    std::filesystem::create_directory(folder.path() / "sub");
    auto expand = [&](const std::string& target) {
        return target.starts_with("@") ? folder.path().string() + target.substr(1) : target;
    };
    for (const Link& link : c.links) {
        std::filesystem::create_symlink(expand(link.target), folder.path() / link.at);
    }
    std::future<std::string> drained;
    if (c.fifo) {
        const std::string fifo = expand(c.links.back().target);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        drained = std::async(std::launch::async, [fifo] {
            std::ifstream in(fifo, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        });
    }

    const std::string content(5000, 'n');
    const FileStatus status = WriteWholeFile(folder.file("out.bin"), bytesOf(content));
    if (c.fifo) { // ends the reader's wait should the write have gone elsewhere
        ::close(::open(expand(c.links.back().target).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    }
    ASSERT_TRUE(status.ok) << status.reason;
    for (const Link& link : c.links) {
        EXPECT_EQ(std::filesystem::read_symlink(folder.path() / link.at).string(), expand(link.target))
            << link.at;
    }
    if (c.landsIn != nullptr) {
        EXPECT_EQ(readFile(folder.file(c.landsIn)), content);
    }
    if (c.fifo) {
        EXPECT_EQ(drained.get(), content);
        EXPECT_TRUE(std::filesystem::is_fifo(expand(c.links.back().target)));
    }
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    for (const auto& name : folder.entries()) {
        EXPECT_FALSE(name.ends_with(".tmp")) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, WriteWholeFileTarget,
    testing::Values(TargetCase{"RelativeLinkToAFile", {{"out.bin", "old.bin"}}, false, "old.bin"},
                    TargetCase{"LinkIntoAFolder", {{"out.bin", "sub/new.bin"}}, false, "sub/new.bin"},
                    TargetCase{
                        "ChainOfLinks", {{"out.bin", "sub/hop"}, {"sub/hop", "@/old.bin"}}, false, "old.bin"},
                    TargetCase{"RelativeToTheLinksFolder",
                               {{"out.bin", "sub/hop"}, {"sub/hop", "../old.bin"}},
                               false,
                               "old.bin"},
                    TargetCase{"LinkToAFifo", {{"out.bin", "@/pipe"}}, true, nullptr},
                    TargetCase{"LinkToACharacterDevice", {{"out.bin", "/dev/null"}}, false, nullptr}),
    [](const testing::TestParamInfo<TargetCase>& param) { return std::string(param.param.name); });

// Killed while writing, the writer leaves the old file as it was and nothing beside it. The
// file size limit stops the write at a known point; its signal becomes SIGTERM, as a kill.
extern "C" void terminateOnSizeLimit(int) {
    std::signal(SIGTERM, SIG_DFL);
    std::raise(SIGTERM);
}

[[noreturn]] void writeUnderASizeLimit(const std::string& path, const std::string& content) {
    const rlimit limit{65536, 65536};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, terminateOnSizeLimit);
    (void)WriteWholeFile(path, bytesOf(content));
    std::exit(0);
}

TEST(WriteWholeFileDeathTest, KilledMidWriteLeavesNothingBehind) {
    TempFolder folder;
    const std::string path = folder.file("out.bin");
    writeFile(path, "old");
    const std::string content(1 << 20, 'x');
    EXPECT_EXIT(writeUnderASizeLimit(path, content), testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(readFile(path), "old");
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
                         [](const testing::TestParamInfo<FailureCase>& param) {
                             return std::string(param.param.name);
                         });

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
