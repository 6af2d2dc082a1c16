// `merge` and `package` from a shell: the files land where the dialog puts them (or where
// --output says), the path is printed, and a bad input is status 1 (3 when it cannot be read)
// with nothing written.
#include "cli_process.h"
#include "event_log.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>

namespace orvane::test {
namespace {

// One Intel HEX record with its checksum and CR LF.
std::string record(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    std::string text = ":";
    for (const std::uint8_t b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        text += hex;
    }
    return text + "\r\n";
}

const std::string ublHex =
    record(4, 0, {0x08, 0x00}) + record(0, 0x0000, {1, 2, 3, 4, 5, 6, 7, 8}) + record(1, 0, {});
const std::string appHex = record(4, 0, {0x08, 0x00}) + record(0, 0x4000, {9, 10, 11, 12}) +
                           record(5, 0, {0x08, 0x00, 0x40, 0x00}) + record(1, 0, {});

TEST(CliMerge, WritesBesideTheApplicationFileAndPrintsThePath) {
    const TempFolder dir;
    writeFile(dir.file("ubl.hex"), ublHex);
    writeFile(dir.file("app.hex"), appHex);

    const CliResult result = runCli({"merge", dir.file("ubl.hex"), dir.file("app.hex")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Merged file written: " + dir.file("appall.hex") + "\n");
    const auto merged = readFile(dir.file("appall.hex"));
    EXPECT_EQ(merged.size(), ublHex.size() + appHex.size() + 8);
    EXPECT_NE(merged.find(":020000040803EF\r\n:04CFFC00000600A586\r\n"), std::string::npos);
}

TEST(CliMerge, OutputOptionAndJson) {
    const TempFolder dir;
    writeFile(dir.file("ubl.hex"), ublHex);
    writeFile(dir.file("app.hex"), appHex);

    const CliResult result = runCli(
        {"merge", dir.file("ubl.hex"), dir.file("app.hex"), "--output", dir.file("out.hex"), "--json"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(linesOf(result.out).size(), 1U) << result.out;
    EXPECT_EQ(stableEvent(result.out),
              R"({"event":"result","ok":true,"exitCode":0,"text":"Merged file written: )" +
                  dir.file("out.hex") + R"(","path":")" + dir.file("out.hex") + "\"}");
    EXPECT_TRUE(std::filesystem::exists(dir.file("out.hex")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("appall.hex")));
}

// --output through a symbolic link replaces the file it points to and keeps the link;
// /dev/stdout is written to as it is, not replaced.
TEST(CliMerge, OutputThroughALinkOrToStandardOutput) {
    const TempFolder dir;
    writeFile(dir.file("ubl.hex"), ublHex);
    writeFile(dir.file("app.hex"), appHex);
    std::filesystem::create_directory(dir.file("real"));
    writeFile(dir.file("real/target.hex"), "old");
    std::filesystem::create_symlink("real/target.hex", dir.file("link.hex"));

    const CliResult linked =
        runCli({"merge", dir.file("ubl.hex"), dir.file("app.hex"), "--output", dir.file("link.hex")});
    EXPECT_EQ(linked.exitCode, 0) << linked.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.hex")));
    EXPECT_EQ(std::filesystem::read_symlink(dir.file("link.hex")), "real/target.hex");
    const auto merged = readFile(dir.file("real/target.hex"));
    EXPECT_EQ(merged.size(), ublHex.size() + appHex.size() + 8);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"app.hex", "link.hex", "real", "ubl.hex"}));

    const CliResult piped =
        runCli({"merge", dir.file("ubl.hex"), dir.file("app.hex"), "--output", "/dev/stdout"});
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, merged + "Merged file written: /dev/stdout\n");
    EXPECT_TRUE(std::filesystem::is_symlink("/dev/stdout"));
}

struct BadMerge {
    const char* name;
    std::optional<std::string> ubl; // nullopt: the file does not exist
    std::optional<std::string> app;
    const char* reason;
    int status = 1; // 3: an input could not be read at all
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BadMerge& c, std::ostream* os) {
    *os << c.name;
}

class CliBadMerge : public ::testing::TestWithParam<BadMerge> {};

TEST_P(CliBadMerge, ExitsWithOneOrThreeAndWritesNothing) {
    const TempFolder dir;
    if (GetParam().ubl) {
        writeFile(dir.file("ubl.hex"), *GetParam().ubl);
    }
    if (GetParam().app) {
        writeFile(dir.file("app.hex"), *GetParam().app);
    }
    const auto before = dir.entries();

    const CliResult result = runCli({"merge", dir.file("ubl.hex"), dir.file("app.hex")});
    EXPECT_EQ(result.exitCode, GetParam().status);
    EXPECT_NE(result.err.find(GetParam().reason), std::string::npos) << result.err;
    EXPECT_EQ(dir.entries(), before);
}

INSTANTIATE_TEST_SUITE_P(Inputs, CliBadMerge,
                         ::testing::Values(BadMerge{"MissingUbl", std::nullopt, appHex, "ubl.hex", 3},
                                           BadMerge{"MissingApp", ublHex, std::nullopt, "app.hex", 3},
                                           BadMerge{"AppNotHex", ublHex, std::string(80, 'x'), "app.hex"},
                                           BadMerge{"AppTooShort", ublHex, ":00000001FF\r\n", "app.hex"},
                                           BadMerge{"UblWithLfLineEnds",
                                                    ":00000001FF\n" + std::string(20, '\n'), appHex,
                                                    "ubl.hex"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(CliPackage, WritesTheDeviceImageBesideTheRawImage) {
    const TempFolder dir;
    const std::string raw = std::string("ABUF1") + std::string("\0\x1A\xA5\xFF", 4);
    writeFile(dir.file("fw.rev.bin"), raw);

    const CliResult result = runCli({"package", "--type", "2", dir.file("fw.rev.bin")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Device image written: " + dir.file("fw.rev.dev") + "\n");
    EXPECT_EQ(readFile(dir.file("fw.rev.dev")), "ABUF2" + raw);

    const CliResult empty =
        runCli({"package", "--type", "3", dir.file("fw.rev.bin"), "-o", dir.file("x.dev")});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(readFile(dir.file("x.dev")), "ABUF3" + raw);
}

TEST(CliPackage, UnreadableRawImageExitsWithThreeAndWritesNothing) {
    const TempFolder dir;
    std::filesystem::create_directory(dir.file("folder.bin"));
    for (const std::string& raw : {dir.file("absent.bin"), dir.file("folder.bin")}) {
        const auto before = dir.entries();
        const CliResult result = runCli({"package", "--type", "1", raw});
        EXPECT_EQ(result.exitCode, 3) << raw;
        EXPECT_NE(result.err.find(raw), std::string::npos) << result.err;
        EXPECT_EQ(dir.entries(), before);
    }
}

} // namespace
} // namespace orvane::test
