// Image files an upgrade must refuse before it touches the port: each ends the job with one
// log line that names the file and says what is wrong, within moments, with nothing sent.
#include "bad_input_support.h"
#include "imagetools/readable_file.h"
#include "upgrade/job_rig.h"
#include "upgrade/upgrade_job.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace orvane::badinput {
namespace {

using namespace std::chrono_literals;
using testing::FakeClock;
using testing::RecordingLog;
using testing::ScriptedCamera;
using testing::ScriptedInputs;

const std::string earlier = "Earlier line\r\n";

struct Prepared {
    Prepared(std::string p, std::string s = {}, std::function<void()> u = {})
        : path(std::move(p)), skip(std::move(s)), unstick(std::move(u)) {}
    std::string path;
    std::string skip;              // why this machine cannot make the input
    std::function<void()> unstick; // frees a job stuck on the input
};

struct BadImage {
    std::string name;
    std::function<Prepared(TempFolder&, std::optional<Fifo>&)> prepare;
    // The one line the job must add, for the path; a trailing '*' matches any rest of the line.
    std::function<std::string(const std::string&)> line;
};

std::string unreadable(const std::string& path, const std::string& reason) {
    return "Cannot read image file " + path + ": " + reason;
}

std::vector<BadImage> badImages() {
    return {
        {"Missing", [](TempFolder& f, auto&) { return Prepared{f.file("none.bin")}; },
         [](const std::string& p) { return unreadable(p, "No such file or directory"); }},
        {"Directory",
         [](TempFolder& f, auto&) {
             fs::create_directory(f.file("folder.bin"));
             return Prepared{f.file("folder.bin")};
         },
         [](const std::string& p) { return unreadable(p, "Is a directory"); }},
        {"PathThroughAFile",
         [](TempFolder& f, auto&) {
             writeFile(f.file("plain"), "x");
             return Prepared{f.file("plain") + "/image.bin"};
         },
         [](const std::string& p) { return unreadable(p, "Not a directory"); }},
        {"SymbolicLinkLoop",
         [](TempFolder& f, auto&) {
             fs::create_symlink(f.file("b.bin"), f.file("a.bin"));
             fs::create_symlink(f.file("a.bin"), f.file("b.bin"));
             return Prepared{f.file("a.bin")};
         },
         [](const std::string& p) { return unreadable(p, "Too many levels of symbolic links"); }},
        {"NoReadPermission",
         [](TempFolder& f, auto&) {
             writeFile(f.file("secret.bin"), std::string(3000, 'x'));
             fs::permissions(f.file("secret.bin"), fs::perms::none);
             return Prepared{f.file("secret.bin"),
                             ::geteuid() == 0 ? "root reads any file whatever its mode" : ""};
         },
         [](const std::string& p) { return unreadable(p, "Permission denied"); }},
        {"PipeWithoutWriter",
         [](TempFolder& f, std::optional<Fifo>& fifo) {
             fifo.emplace(f.file("pipe.bin"));
             const Fifo* pipe = &*fifo;
             return Prepared{pipe->path(), pipe->made() ? "" : "cannot make a named pipe here",
                             [pipe] { pipe->release(); }};
         },
         [](const std::string& p) { return unreadable(p, "*"); }},
        {"CharacterDevice", [](TempFolder&, auto&) { return Prepared{"/dev/zero"}; },
         [](const std::string& p) { return unreadable(p, "*"); }},
        {"OneByteTooLargeForTheBlockCount",
         [](TempFolder& f, auto&) {
             const bool made = makeSparse(f.file("big.bin"), 67'107'840);
             return Prepared{f.file("big.bin"), made ? "" : "no sparse files here"};
         },
         [](const std::string& p) {
             return "Image file " + p +
                    " is too large (67107840 bytes); at most 67107839 bytes fit the block count";
         }},
        // Past 4 GiB the length no longer fits the SizeHeader's 32 bits: it must not wrap to 3000.
        {"LargerThanFourGiB",
         [](TempFolder& f, auto&) {
             const bool made = makeSparse(f.file("huge.bin"), (std::uint64_t{1} << 32) + 3000);
             return Prepared{f.file("huge.bin"), made ? "" : "no sparse files here"};
         },
         [](const std::string& p) {
             return "Image file " + p +
                    " is too large (4294970296 bytes); at most 67107839 bytes fit the block count";
         }},
        {"DeliversFewerBytesThanItsLength",
         [](TempFolder&, auto&) {
             const std::string path = fileShorterThanItsSize();
             return Prepared{path, path.empty() ? "no file here whose read falls short of its size" : ""};
         },
         [](const std::string& p) {
             return "Cannot read image file " + p + ": the file changed while it was read: *";
         }},
    };
}

bool matchesLine(const std::string& actual, const std::string& pattern) {
    if (!pattern.empty() && pattern.back() == '*') {
        const std::string head = pattern.substr(0, pattern.size() - 1);
        return actual.rfind(head, 0) == 0 && actual.size() > head.size() + 2 && actual.ends_with("\r\n") &&
               actual.find("\r\n") == actual.size() - 2;
    }
    return actual == pattern + "\r\n";
}

void PrintTo(const BadImage& c, std::ostream* out) {
    *out << c.name;
}

class BadImageFile : public ::testing::TestWithParam<BadImage> {};

TEST_P(BadImageFile, RefusedWithOneLineAndNothingSent) {
    TempFolder folder;
    std::optional<Fifo> fifo;
    const Prepared input = GetParam().prepare(folder, fifo);
    if (!input.skip.empty())
        GTEST_SKIP() << input.skip;

    ReplyFlags flags;
    FakeClock clock;
    ScriptedCamera camera(flags, clock);
    ScriptedInputs inputs;
    inputs.path = input.path;
    RecordingLog log(earlier);
    int result = 1;
    const bool inTime = finishesWithin(
        5s,
        [&] {
            const UpgradeJobContext context{camera, flags, clock, inputs, log};
            result = runUpgradeJob(context).result;
        },
        input.unstick);

    EXPECT_TRUE(inTime) << "the job hung on " << input.path;
    EXPECT_EQ(result, -1);
    const std::string log_ = log.log();
    ASSERT_EQ(log_.rfind(earlier, 0), 0u);
    const std::string added = log_.substr(earlier.size());
    EXPECT_TRUE(matchesLine(added, GetParam().line(input.path))) << added;
    EXPECT_TRUE(camera.trace().empty()) << "the port was touched";
    EXPECT_EQ(clock.elapsed(), 0ms);
}

INSTANTIATE_TEST_SUITE_P(BadInput, BadImageFile, ::testing::ValuesIn(badImages()),
                         [](const auto& param) { return param.param.name; });

// An empty file is no bad input to the job: it runs as a zero-length upgrade.
TEST(BadInput, EmptyImageRunsAsAZeroLengthUpgrade) {
    TempFolder folder;
    writeFile(folder.file("empty.bin"), "");
    ReplyFlags flags;
    FakeClock clock;
    ScriptedCamera camera(flags, clock);
    ScriptedInputs inputs;
    inputs.path = folder.file("empty.bin");
    RecordingLog log(earlier);
    const UpgradeJobContext context{camera, flags, clock, inputs, log};
    EXPECT_EQ(runUpgradeJob(context).result, 0);
    EXPECT_EQ(log.log(), "Start\r\nSend Command successful !\r\nSend updated datas  progress:100%\r\nUpdate "
                         "was successful !\r\n");
    const auto headers = camera.written(testing::Sent::Size);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0], (testing::Bytes{0xA5, 0xF7, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x59, 0xAF}));
    EXPECT_TRUE(camera.written(testing::Sent::Block).empty());
}

// A firmware file still being copied: whatever changes between the open and the end of the
// read (more bytes arriving, the copy started over) is refused, never sent as a shorter image.
TEST(BadInput, ImageChangingWhileReadIsRefused) {
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> changes{
        {"grows", [](const std::string& path) { writeFile(path, std::string(3000, 'x')); }},
        {"shrinks", [](const std::string& path) { writeFile(path, std::string(10, 'x')); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        TempFolder folder;
        const std::string path = folder.file("copying.bin");
        writeFile(path, std::string(2000, 'x'));
        FileStatus status;
        auto file = ReadableFile::open(path, status);
        ASSERT_TRUE(file) << status.reason;
        change(path);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file->size()));
        status = file->readAll(bytes);
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.reason.find("the file changed while it was read"), std::string::npos)
            << status.reason;
    }
}

// An error nobody expected (memory, a front end that throws) ends the job with a reason instead
// of ending the program; once the camera has been addressed it is told with the AbortFrame.
TEST(BadInput, ErrorInsideTheJobEndsItWithAReason) {
    for (const bool addressed : {false, true}) {
        SCOPED_TRACE(addressed ? "after the enter command" : "before anything was sent");
        TempFolder folder;
        writeFile(folder.file("fw.bin"), std::string(3000, 'x'));
        ReplyFlags flags;
        FakeClock clock;
        ScriptedCamera camera(flags, clock);
        ScriptedInputs inputs;
        inputs.path = folder.file("fw.bin");
        camera.onWrite = [addressed](testing::Sent kind) {
            if (addressed && kind == testing::Sent::Start)
                throw std::bad_alloc();
        };
        RecordingLog log;
        const UpgradeJobContext context{camera, flags, clock, inputs, log};
        UpgradeOutcome outcome;
        if (addressed) {
            outcome = runUpgradeJob(context);
        } else {
            // The front end's inputs throw while the job asks for the port.
            struct Throwing final : UpgradeInputs {
                std::string path;
                std::optional<std::string> imagePath() override { return path; }
                std::optional<std::string> portName() override {
                    throw std::runtime_error("the dialog is gone");
                }
                std::optional<int> lineSpeed() override { return 9600; }
                std::optional<int> address() override { return 1; }
                std::optional<int> upgradeSpeed() override { return 9600; }
            } throwing;
            throwing.path = inputs.path;
            const UpgradeJobContext early{camera, flags, clock, throwing, log};
            outcome = runUpgradeJob(early);
        }
        EXPECT_EQ(outcome.result, -1);
        EXPECT_EQ(outcome.reason, UpgradeReason::InternalError);
        EXPECT_EQ(outcome.ending, addressed ? UpgradeEnding::Failed : UpgradeEnding::Unusable);
        EXPECT_EQ(camera.written(testing::Sent::Abort).size(), addressed ? 1U : 0U);
        const std::string why = addressed ? "std::bad_alloc" : "the dialog is gone";
        EXPECT_NE(log.log().find("The upgrade stopped on an internal error: " + why), std::string::npos)
            << log.log();
        EXPECT_EQ(log.log().ends_with("Update was failed !\r\n"), addressed);
        EXPECT_FALSE(camera.held()) << "the port is free again";
    }
}

} // namespace
} // namespace orvane::badinput
