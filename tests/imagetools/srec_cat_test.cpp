// The merge on HEX files made by srec_cat (package srecord), which many build scripts use and
// which ends lines in LF alone on Linux: such files merge to exactly what their CR LF forms
// give and srec_cat reads the result back whole; the pair srec_cat itself finds clashing, and
// an application over the fixed bytes, are refused at the first address both would fill.
#include "hex_test_files.h"
#include "imagetools/hex_merge.h"
#include "support/missing_package.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace orvane {
namespace {

using namespace testing_support;

std::string hexOf(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

class SrecCatFiles : public testing::Test {
  protected:
    void SetUp() override {
        if (std::system("srec_cat -version > /dev/null 2>&1") != 0) {
            GTEST_SKIP() << test::missingPackage("srecord", "srec_cat is not installed");
        }
    }

    // count random bytes at address as name.bin, and srec_cat's Intel HEX of them as name.hex
    // (LF alone, or CR LF with crlf); an application also gets its start address record.
    std::string hexFile(const std::string& name, std::uint32_t address, std::size_t count, bool app,
                        bool crlf = false) {
        std::mt19937 random(address ^ static_cast<std::uint32_t>(count));
        std::string bytes(count, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random());
        }
        writeFile(folder.file(name + ".bin"), bytes);
        const std::string command = "srec_cat " + folder.file(name + ".bin") + " -binary -offset " +
                                    hexOf(address) +
                                    (app ? " -execution-start-address=" + hexOf(address) : "") + " -o " +
                                    folder.file(name + ".hex") + " -intel" + (crlf ? " -crlf" : "");
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return folder.file(name + ".hex");
    }

    // srec_cat's exit status on reading both files, its complaint in complaint.
    int srecCatReads(const std::string& first, const std::string& second, std::string& complaint) {
        const std::string command = "srec_cat " + first + " -intel " +
                                    (second.empty() ? "" : second + " -intel ") + "-o /dev/null -intel 2> " +
                                    folder.file("complaint.txt");
        const int status = std::system(command.c_str());
        complaint = readFile(folder.file("complaint.txt"));
        return status;
    }

    TempFolder folder;
};

TEST_F(SrecCatFiles, WithLfAloneMergeAsTheirCrLfFormsAndReadBackWhole) {
    const std::string ubl = hexFile("ubl", 0x08000000, 0x2000, false);
    const std::string app = hexFile("app", 0x08004000, 0x8000, true);
    ASSERT_EQ(readFile(ubl).find('\r'), std::string::npos) << "srec_cat wrote CR LF by itself";
    const MergeOutcome lf = MergeHexFiles({ubl, app, folder.file("lf.hex")});
    ASSERT_TRUE(lf.written) << lf.error;
    const MergeOutcome crlf =
        MergeHexFiles({hexFile("ublcrlf", 0x08000000, 0x2000, false, true),
                       hexFile("appcrlf", 0x08004000, 0x8000, true, true), folder.file("crlf.hex")});
    ASSERT_TRUE(crlf.written) << crlf.error;
    EXPECT_EQ(readFile(folder.file("lf.hex")), readFile(folder.file("crlf.hex")));

    const std::string command = "srec_cat " + folder.file("lf.hex") + " -intel -offset -0x08000000 -o " +
                                folder.file("merged.bin") + " -binary";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string merged = readFile(folder.file("merged.bin"));
    ASSERT_EQ(merged.size(), 0x3D000u);
    EXPECT_EQ(merged.substr(0, 0x2000), readFile(folder.file("ubl.bin")));
    EXPECT_EQ(merged.substr(0x4000, 0x8000), readFile(folder.file("app.bin")));
    EXPECT_EQ(merged.substr(0x3CFFC), std::string("\x00\x06\x00\xA5", 4));
}

struct SrecClash {
    const char* name;
    std::uint32_t ublAddress;
    std::size_t ublCount;
    std::uint32_t appAddress;
    std::size_t appCount;
    std::string said; // in the refusal
    bool srecCatRefuses;
};

void PrintTo(const SrecClash& c, std::ostream* out) {
    *out << c.name;
}

class SrecCatClashes : public SrecCatFiles, public testing::WithParamInterface<SrecClash> {};

TEST_P(SrecCatClashes, AreRefusedWhereSrecCatSeesThem) {
    const SrecClash& c = GetParam();
    const std::string ubl = hexFile("ubl", c.ublAddress, c.ublCount, false);
    const std::string app = hexFile("app", c.appAddress, c.appCount, true);
    const MergeOutcome outcome = MergeHexFiles({ubl, app, {}});
    EXPECT_FALSE(outcome.written);
    EXPECT_NE(outcome.error.find(c.said), std::string::npos) << outcome.error;
    EXPECT_FALSE(std::filesystem::exists(folder.file("appall.hex")));
    if (c.srecCatRefuses) {
        std::string complaint;
        EXPECT_NE(srecCatReads(ubl, app, complaint), 0);
        EXPECT_NE(complaint.find("multiple " + hexOf(c.appAddress) + " values"), std::string::npos)
            << complaint;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, SrecCatClashes,
    testing::Values(SrecClash{"BootLoaderIntoTheApplication", 0x08000000, 0x2000, 0x08001000, 0x1000,
                              "data at 0x08001000, which line 130 of ", true},
                    SrecClash{"ApplicationOverTheFixedBytes", 0x08000000, 0x1000, 0x08001000, 250000,
                              "data at 0x0803CFFC, where the merge puts its fixed bytes", false}),
    [](const testing::TestParamInfo<SrecClash>& param) { return std::string(param.param.name); });

} // namespace
} // namespace orvane
