// An output that is one of its own inputs: writing it would replace the very file being read.
// Whatever name reaches it (the same path, another spelling, a hard or symbolic link, the
// default name), the merge and the packager refuse and every file stays as it was.
#include "hex_test_files.h"
#include "imagetools/device_image.h"
#include "imagetools/hex_merge.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace orvane {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

const std::string ublHex =
    crlfJoin({extendedLinear(0x0800), dataRecords(0x0000, 16, 1)[0], startLinear(0x08000001), endOfFile});
const std::string appHex =
    crlfJoin({extendedLinear(0x0800), dataRecords(0x4000, 16, 2)[0], startLinear(0x08004001), endOfFile});

enum class Link { None, Hard, Symbolic };

struct SameFileCase {
    const char* name;
    // "merge UBL APP OUT" or "package DIGIT RAW OUT"; OUT "" for the default name.
    const char* tool;
    std::string first;
    std::string second;
    std::string output;
    Link link;         // made as "link" to app.hex
    std::string error; // {name} stands for the file's path in the folder
};

void PrintTo(const SameFileCase& c, std::ostream* out) {
    *out << c.name;
}

std::map<std::string, std::string> contentsOf(const TempFolder& folder) {
    std::map<std::string, std::string> contents;
    for (const std::string& name : folder.entries()) {
        contents[name] = readFile(folder.file(name));
    }
    return contents;
}

// "{app.hex}" becomes the path of app.hex in folder, and so on.
std::string withPaths(std::string text, const TempFolder& folder) {
    for (std::size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open)) {
        const std::size_t close = text.find('}', open);
        const std::string path = folder.file(text.substr(open + 1, close - open - 1));
        text.replace(open, close + 1 - open, path);
        open += path.size();
    }
    return text;
}

class OutputThatIsAnInput : public testing::TestWithParam<SameFileCase> {};

TEST_P(OutputThatIsAnInput, IsRefusedAndNothingChanges) {
    const SameFileCase& c = GetParam();
    TempFolder folder;
    writeFile(folder.file("ubl.hex"), ublHex);
    writeFile(folder.file("app.hex"), appHex);
    writeFile(folder.file("appall.hex"), ublHex); // a boot loader that happens to bear this name
    writeFile(folder.file("fw.bin"), "raw image");
    writeFile(folder.file("r.dev"), "ABUF1raw image");
    std::error_code failed;
    if (c.link == Link::Hard) {
        fs::create_hard_link(folder.file("app.hex"), folder.file("link"), failed);
    } else if (c.link == Link::Symbolic) {
        fs::create_symlink(folder.file("app.hex"), folder.file("link"), failed);
    }
    if (failed) {
        GTEST_SKIP() << "cannot make the link here: " << failed.message();
    }
    const auto before = contentsOf(folder);
    const auto path = [&folder](const std::string& name) { return name.empty() ? name : folder.file(name); };

    std::string error;
    if (std::string(c.tool) == "merge") {
        const MergeOutcome outcome = MergeHexFiles({path(c.first), path(c.second), path(c.output)});
        EXPECT_FALSE(outcome.written);
        EXPECT_EQ(outcome.logText, outcome.error + "\r\n");
        error = outcome.error;
    } else {
        const PackageOutcome outcome = PackageDeviceImage(c.first[0], path(c.second), path(c.output));
        EXPECT_FALSE(outcome.written);
        EXPECT_EQ(outcome.detail, outcome.message);
        error = outcome.message;
    }
    EXPECT_EQ(error, withPaths(c.error, folder));
    EXPECT_EQ(contentsOf(folder), before);
}

const std::string mergeIntoApp = "Cannot write {app.hex}: it is the input file {app.hex} itself";

INSTANTIATE_TEST_SUITE_P(
    Names, OutputThatIsAnInput,
    testing::Values(
        SameFileCase{"MergeOutputIsTheApp", "merge", "ubl.hex", "app.hex", "app.hex", Link::None,
                     mergeIntoApp},
        SameFileCase{"MergeOutputIsTheUbl", "merge", "ubl.hex", "app.hex", "ubl.hex", Link::None,
                     "Cannot write {ubl.hex}: it is the input file {ubl.hex} itself"},
        SameFileCase{"MergeOutputSpelledOtherwise", "merge", "ubl.hex", "app.hex", "./app.hex", Link::None,
                     "Cannot write {./app.hex}: it is the input file {app.hex} itself"},
        SameFileCase{"MergeOutputIsAHardLinkToTheApp", "merge", "ubl.hex", "app.hex", "link", Link::Hard,
                     "Cannot write {link}: it is the input file {app.hex} itself"},
        SameFileCase{"MergeOutputIsASymbolicLinkToTheApp", "merge", "ubl.hex", "app.hex", "link",
                     Link::Symbolic, "Cannot write {link}: it is the input file {app.hex} itself"},
        SameFileCase{"MergeDefaultOutputIsTheUbl", "merge", "appall.hex", "app.hex", "", Link::None,
                     "Cannot write {appall.hex}: it is the input file {appall.hex} itself"},
        SameFileCase{"MergeOneFileAsBoth", "merge", "app.hex", "app.hex", "out.hex", Link::None,
                     "The boot loader {app.hex} and the application {app.hex} are the same file"},
        SameFileCase{"MergeAHardLinkAsTheOther", "merge", "link", "app.hex", "out.hex", Link::Hard,
                     "The boot loader {link} and the application {app.hex} are the same file"},
        SameFileCase{"PackageOutputIsTheRawImage", "package", "2", "fw.bin", "fw.bin", Link::None,
                     "Cannot write {fw.bin}: it is the input file {fw.bin} itself"},
        SameFileCase{"PackageDefaultOutputIsTheInput", "package", "3", "r.dev", "", Link::None,
                     "Cannot write {r.dev}: it is the input file {r.dev} itself"},
        SameFileCase{"PackageOutputIsAHardLinkToTheRawImage", "package", "1", "app.hex", "link", Link::Hard,
                     "Cannot write {link}: it is the input file {app.hex} itself"}),
    [](const testing::TestParamInfo<SameFileCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace orvane
