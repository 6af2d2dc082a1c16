// The image refused before any port is opened: one reason a fault, the same from `upgrade`,
// `station` and `upgrade --approved` in the language asked for, and HEX or ELF files made by
// a real toolchain never put on the line unless --allow-any-image says so.
#include "cli_process.h"
#include "sim/virtual_camera.h"
#include "support/missing_package.h"
#include "text/string_table.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <tuple>

namespace orvane::test {
namespace {

using ReasonCase = std::tuple<bool /*empty, else missing*/, const char* /*--lang*/>;

class CliImageReason : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(CliImageReason, SameFromEveryCommand) {
    const auto [empty, lang] = GetParam();
    const TempFolder dir;
    const std::string image = dir.file("fw.bin");
    if (empty) {
        writeFile(image, "");
    }
    const TextLanguage language = std::string(lang) == "zh" ? TextLanguage::Chinese : TextLanguage::English;
    const std::string reason =
        empty ? fillText(textOf(IDS_IMAGE_EMPTY, language), {image})
              : fillText(textOf(IDS_IMAGE_UNREADABLE, language), {image, "No such file or directory"});
    const std::string port = dir.file("ttyNothing");
    const std::vector<std::vector<std::string>> commands{
        {"upgrade", image, "--port", port, "--lang", lang},
        {"station", image, "--port", port, "--lang", lang},
        {"upgrade", image, "--port", port, "--lang", lang, "--approved", dir.file("list.sha256")}};
    for (const auto& args : commands) {
        const CliResult result = runCli(args);
        EXPECT_EQ(result.exitCode, 3) << args[0] << result.err;
        EXPECT_EQ(result.err, reason + "\n") << args[0] << (args.size() > 6 ? " --approved" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(FaultsAndLanguages, CliImageReason,
                         ::testing::Combine(::testing::Bool(), ::testing::Values("en", "zh")));

// A vector table and a loop, linked at 0x08000000 by binutils-arm-none-eabi; empty when the
// toolchain is missing.
std::string buildFirmware(const TempFolder& dir) {
    writeFile(dir.file("app.s"), ".thumb\n.word 0x20001000\n.word 0x08000009\nloop: b loop\n");
    const std::string command =
        "cd '" + dir.path().string() +
        "' && arm-none-eabi-as app.s -o app.o && arm-none-eabi-ld -Ttext=0x08000000 "
        "app.o -o app.elf && arm-none-eabi-objcopy -O ihex app.elf app.hex 2>/dev/null";
    return std::system(command.c_str()) == 0 ? dir.path().string() : std::string();
}

TEST(CliImageKind, HexAndElfNeverReachTheLineUnlessAllowed) {
    const TempFolder dir;
    if (buildFirmware(dir).empty()) {
        GTEST_SKIP() << missingPackage("binutils-arm-none-eabi", "no ARM toolchain to build the files with");
    }
    struct Case {
        const char* file;
        bool allow;
        int status;
    };
    for (const Case& c : {Case{"app.hex", false, 3}, Case{"app.elf", false, 3}, Case{"app.hex", true, 0}}) {
        VirtualCamera camera;
        ASSERT_TRUE(camera.start()) << camera.error();
        std::vector<std::string> args{"upgrade", dir.file(c.file), "--port", camera.devicePath()};
        if (c.allow) {
            args.push_back("--allow-any-image");
        }
        const CliResult result = runCli(args);
        const auto frames = camera.receivedFrames();
        const std::size_t bytes =
            std::accumulate(frames.begin(), frames.end(), std::size_t{0},
                            [](std::size_t n, const auto& f) { return n + f.bytes.size(); });

        EXPECT_EQ(result.exitCode, c.status) << c.file << result.err;
        if (c.allow) {
            const auto verdict = camera.waitForVerdict(std::chrono::seconds{2});
            ASSERT_TRUE(verdict) << result.out;
            EXPECT_EQ(verdict->image.size(), readFile(dir.file(c.file)).size());
        } else {
            EXPECT_EQ(bytes, 0U) << c.file;
            EXPECT_NE(result.err.find("objcopy"), std::string::npos) << result.err;
        }
    }
}

} // namespace
} // namespace orvane::test
