// HEX files the merge must refuse, and output folders it cannot write: each refusal is one
// line naming the file (and for content, the line) with the reason, and leaves the folder as
// it was: no merged file, an earlier one untouched, no temporary file behind.
#include "bad_input_support.h"
#include "imagetools/device_image.h"
#include "imagetools/hex_merge.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>

namespace orvane::badinput {
namespace {

using namespace std::chrono_literals;

std::string record(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(-sum));
    std::string text = ":";
    char pair[3];
    for (auto b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(b));
        text += pair;
    }
    return text;
}
std::string lines(const std::vector<std::string>& records) {
    std::string text;
    for (const auto& r : records)
        text += r + "\r\n";
    return text;
}
const std::string eof = ":00000001FF";
const std::string goodUbl = lines(
    {record(4, 0, {0x08, 0x00}), record(0, 0, {1, 2, 3, 4, 5, 6, 7, 8}), record(0, 8, {9, 10, 11, 12}), eof});
const std::string goodApp = lines({record(4, 0, {0x08, 0x00}), record(0, 0x100, {0xAA, 0xBB, 0xCC, 0xDD}),
                                   record(5, 0, {0x08, 0x00, 0x01, 0x01}), eof});

std::string garbage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    bytes[0] = '\0'; // binary from its first byte
    return bytes;
}

enum class Role { Ubl, App };

struct Prepared {
    Prepared(std::string u, std::string a, std::string s = {}, std::function<void()> free = {})
        : ubl(std::move(u)), app(std::move(a)), skip(std::move(s)), unstick(std::move(free)) {}
    std::string ubl, app;
    std::string skip;
    std::function<void()> unstick;
};

struct BadHex {
    std::string name;
    Role culprit;
    // Writes the inputs into the folder (the APP is app.hex unless the case says otherwise).
    std::function<Prepared(TempFolder&, std::optional<Fifo>&)> prepare;
    std::string problem; // after "<path>: " or "<path> line N: "; a trailing '*' matches any rest
};

Prepared pair(TempFolder& f, const std::string& ubl, const std::string& app) {
    writeFile(f.file("ubl.hex"), ubl);
    writeFile(f.file("app.hex"), app);
    return {f.file("ubl.hex"), f.file("app.hex")};
}

std::vector<BadHex> badHexFiles() {
    const auto content = [](Role role, std::string text) {
        return [role, text](TempFolder& f, auto&) {
            return role == Role::Ubl ? pair(f, text, goodApp) : pair(f, goodUbl, text);
        };
    };
    // Built in place: g++ 12 at -O3 warns falsely (-Wrestrict) on ":" + std::string(...).
    std::string longLine((1 << 20) + 1, '0');
    longLine[0] = ':';
    return {
        // The image tools' own table, once more through the whole file operation.
        // LF alone is a line end (the image tools' tests merge such files); CR alone is not.
        {"UblWithCrLineEnds", Role::Ubl,
         content(Role::Ubl,
                 [] {
                     std::string t = goodUbl;
                     std::erase(t, '\n');
                     return t;
                 }()),
         "line 1: the last line has no CR LF line end"},
        {"AppWithBadChecksum", Role::App,
         content(Role::App,
                 lines({record(4, 0, {0x08, 0x00}), ":0401000001020304F2", record(5, 0, {8, 0, 1, 1}), eof})),
         "line 2: checksum 0xF2 is wrong, the record's bytes need 0xF1"},
        {"UblWithNonHexCharacter", Role::Ubl,
         content(Role::Ubl, lines({record(4, 0, {8, 0}), ":0400000001G20304F2", eof})),
         "line 2: 'G' in column 12 is not a hexadecimal digit"},
        {"UblWithoutEndOfFile", Role::Ubl,
         content(Role::Ubl, lines({record(4, 0, {8, 0}), record(0, 0, {1, 2, 3, 4})})),
         "line 2: no end-of-file record*"},
        {"AppWithoutLeadingAddressRecord", Role::App,
         content(Role::App, lines({record(0, 0, {1, 2, 3, 4, 5}), record(5, 0, {8, 0, 1, 1}), eof})),
         "line 1: the first record is *"},
        {"AppWithoutStartAddressRecord", Role::App,
         content(Role::App, lines({record(4, 0, {8, 0}),
                                   record(0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}), eof})),
         "line 3: the file has no start linear address record (:04000005...)*"},
        {"AppShorterThanTheCutCounts", Role::App, content(Role::App, lines({eof, ""}).substr(0, 15)),
         "line *"},
        // Beyond the table: what a wrong pick or a broken download gives.
        {"UblZeroBytes", Role::Ubl, content(Role::Ubl, ""), "line 1: the file is empty"},
        {"AppZeroBytes", Role::App, content(Role::App, ""), "line 1: the file is empty"},
        {"UblBinaryGarbage", Role::Ubl, content(Role::Ubl, garbage(70000, 1)), "line 1: *"},
        {"AppBinaryGarbage", Role::App, content(Role::App, garbage(70000, 2)), "line 1: *"},
        {"UblOneMiBLine", Role::Ubl, content(Role::Ubl, lines({record(4, 0, {8, 0}), longLine, eof})),
         "line 2: the record is 1048577 characters long, its byte count 0x00 needs 11"},
        {"AppTenMiBWithoutLineEnd", Role::App, content(Role::App, std::string(10 << 20, '0')),
         "line 1: the last line has no CR LF line end"},
        {"UblLongLineAfterEndOfFile", Role::Ubl, content(Role::Ubl, goodUbl + std::string(1 << 20, 'x')),
         "line 5: a line follows the end-of-file record of line 4"},
        {"UblIsAFolder", Role::Ubl,
         [](TempFolder& f, auto&) {
             fs::create_directory(f.file("ubl.hex"));
             writeFile(f.file("app.hex"), goodApp);
             return Prepared{f.file("ubl.hex"), f.file("app.hex")};
         },
         "Is a directory"},
        {"AppIsAPipeWithoutWriter", Role::App,
         [](TempFolder& f, std::optional<Fifo>& fifo) {
             writeFile(f.file("ubl.hex"), goodUbl);
             fifo.emplace(f.file("app.hex"));
             const Fifo* pipe = &*fifo;
             return Prepared{f.file("ubl.hex"), pipe->path(),
                             pipe->made() ? "" : "cannot make a named pipe here",
                             [pipe] { pipe->release(); }};
         },
         "*"},
    };
}

bool matches(const std::string& actual, const std::string& pattern) {
    if (!pattern.empty() && pattern.back() == '*')
        return actual.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0;
    return actual == pattern;
}

void PrintTo(const BadHex& c, std::ostream* out) {
    *out << c.name;
}

class BadHexInput : public ::testing::TestWithParam<BadHex> {};

TEST_P(BadHexInput, RefusedWithFileLineAndReasonAndNothingWritten) {
    const BadHex& c = GetParam();
    TempFolder folder;
    std::optional<Fifo> fifo;
    const Prepared input = c.prepare(folder, fifo);
    if (!input.skip.empty())
        GTEST_SKIP() << input.skip;
    const std::string output = folder.file("appall.hex");
    writeFile(output, "earlier merge\r\n");
    const auto before = folder.entries();

    MergeOutcome outcome;
    const bool inTime = finishesWithin(
        5s,
        [&] {
            outcome = MergeHexFiles({input.ubl, input.app, {}});
        },
        input.unstick);

    EXPECT_TRUE(inTime) << "the merge hung";
    EXPECT_FALSE(outcome.written);
    // Named once the UBL file is open; a UBL that cannot be read is reported before that.
    if (!outcome.outputPath.empty()) {
        EXPECT_EQ(outcome.outputPath, output);
    }
    const std::string& path = c.culprit == Role::Ubl ? input.ubl : input.app;
    const bool fileProblem = c.problem.rfind("line ", 0) != 0;
    const std::string head = fileProblem ? "Cannot read " + path + ": " : path + " ";
    ASSERT_EQ(outcome.error.rfind(head, 0), 0u) << outcome.error;
    EXPECT_TRUE(matches(outcome.error.substr(head.size()), c.problem)) << outcome.error;
    EXPECT_EQ(outcome.error.find('\n'), std::string::npos);
    EXPECT_EQ(outcome.logText, outcome.error + "\r\n");
    EXPECT_EQ(readFile(output), "earlier merge\r\n");
    EXPECT_EQ(folder.entries(), before);
}

INSTANTIATE_TEST_SUITE_P(BadInput, BadHexInput, ::testing::ValuesIn(badHexFiles()),
                         [](const auto& param) { return param.param.name; });

// --- Outputs that cannot be written ------------------------------------------------------------

TEST(BadOutput, MergeIntoAReadOnlyFolderKeepsTheEarlierMerge) {
    TempFolder folder;
    pair(folder, goodUbl, goodApp);
    const std::string output = folder.file("appall.hex");
    writeFile(output, "earlier merge\r\n");
    const auto before = folder.entries();
    MergeOutcome outcome;
    {
        ReadOnlyFolder readOnly(folder.path());
        if (!readOnly.active())
            GTEST_SKIP() << "cannot make a folder read-only for this user here";
        outcome = MergeHexFiles({folder.file("ubl.hex"), folder.file("app.hex"), {}});
    }
    EXPECT_FALSE(outcome.written);
    const std::string reason = ::geteuid() == 0 ? "Operation not permitted" : "Permission denied";
    EXPECT_EQ(outcome.error, "Cannot write " + output + ": " + reason);
    EXPECT_EQ(outcome.logText, outcome.error + "\r\n");
    EXPECT_EQ(readFile(output), "earlier merge\r\n");
    EXPECT_EQ(folder.entries(), before);
}

TEST(BadOutput, MergeOntoAFolderOfTheOutputsNameLeavesItAlone) {
    TempFolder folder;
    pair(folder, goodUbl, goodApp);
    fs::create_directory(folder.file("appall.hex"));
    writeFile(folder.file("appall.hex") + "/inside", "kept");
    const auto before = folder.entries();
    const MergeOutcome outcome = MergeHexFiles({folder.file("ubl.hex"), folder.file("app.hex"), {}});
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.error.rfind("Cannot write " + folder.file("appall.hex") + ": ", 0), 0u)
        << outcome.error;
    EXPECT_EQ(readFile(folder.file("appall.hex") + "/inside"), "kept");
    EXPECT_EQ(folder.entries(), before);
}

TEST(BadOutput, DeviceImageIntoAReadOnlyFolderKeepsTheEarlierImage) {
    TempFolder folder;
    writeFile(folder.file("fw.bin"), std::string(5000, '\x5A'));
    writeFile(folder.file("fw.dev"), "earlier image");
    const auto before = folder.entries();
    PackageOutcome outcome;
    {
        ReadOnlyFolder readOnly(folder.path());
        if (!readOnly.active())
            GTEST_SKIP() << "cannot make a folder read-only for this user here";
        outcome = PackageDeviceImage('1', folder.file("fw.bin"));
    }
    EXPECT_FALSE(outcome.written);
    EXPECT_NE(outcome.message.find(folder.file("fw.dev")), std::string::npos) << outcome.message;
    EXPECT_EQ(readFile(folder.file("fw.dev")), "earlier image");
    EXPECT_EQ(folder.entries(), before);
}

TEST(BadInput, DeviceImageFromAPipeWithoutWriterDoesNotHang) {
    TempFolder folder;
    Fifo pipe(folder.file("fw.bin"));
    if (!pipe.made())
        GTEST_SKIP() << "cannot make a named pipe here";
    PackageOutcome outcome;
    const bool inTime = finishesWithin(
        5s, [&] { outcome = PackageDeviceImage('2', pipe.path()); }, [&] { pipe.release(); });
    EXPECT_TRUE(inTime) << "packaging hung";
    EXPECT_FALSE(outcome.written);
    EXPECT_FALSE(fs::exists(folder.file("fw.dev")));
}

// Packaging streams the raw image: one far larger than the memory it may take raises the
// process's peak by little, and the device image still holds all of it.
TEST(BadInput, DeviceImageOfAGiantRawImageTakesLittleMemory) {
    TempFolder folder;
    constexpr std::uint64_t size = std::uint64_t{128} << 20;
    if (!makeSparse(folder.file("big.bin"), size))
        GTEST_SKIP() << "no sparse files here";
    if (!resetPeakMemory() || memoryKib("VmHWM") == 0)
        GTEST_SKIP() << "the kernel does not tell the peak memory here";
    const std::uint64_t before = memoryKib("VmRSS");
    const PackageOutcome outcome = PackageDeviceImage('2', folder.file("big.bin"));
    const std::uint64_t peakRiseMib = (memoryKib("VmHWM") - std::min(before, memoryKib("VmHWM"))) / 1024;
    ASSERT_TRUE(outcome.written) << outcome.detail;
    EXPECT_LT(peakRiseMib, 64u);
    EXPECT_EQ(fs::file_size(folder.file("big.dev")), size + 5);
    std::ifstream image(folder.file("big.dev"), std::ios::binary);
    std::string head(6, '\0');
    image.read(head.data(), 6);
    EXPECT_EQ(head, std::string("ABUF2\0", 6));
}

// A raw image that changes while it is packaged (a /proc file grows past its stated length,
// a sysfs file delivers less than its stated length) leaves no device image and no stray file.
TEST(BadInput, DeviceImageFromAChangingFileIsNotWritten) {
    for (const std::string& raw : {std::string("/proc/self/status"), fileShorterThanItsSize()}) {
        if (raw.empty() || !fs::exists(raw))
            continue;
        SCOPED_TRACE(raw);
        TempFolder folder;
        const PackageOutcome outcome = PackageDeviceImage('1', raw, folder.file("out.dev"));
        EXPECT_FALSE(outcome.written);
        EXPECT_NE(outcome.detail.find("the file changed while it was read"), std::string::npos)
            << outcome.detail;
        EXPECT_TRUE(folder.entries().empty());
    }
}

} // namespace
} // namespace orvane::badinput
