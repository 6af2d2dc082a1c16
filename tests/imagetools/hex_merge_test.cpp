// The HEX merge: the exact bytes of the merged file, what a HEX reader makes of it, and the
// inputs it must refuse without writing anything.
#include "hex_test_files.h"
#include "imagetools/hex_merge.h"
#include "text/string_table.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace orvane {
namespace {

using namespace testing_support;

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string textOf(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A boot loader and an application as lists of records, in the shapes the merge expects
// unless a test bends them.
struct HexPair {
    std::vector<std::string> ubl;
    std::vector<std::string> app;
};

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

HexPair typicalPair() {
    return {
        concat({{extendedLinear(0x0800)}, dataRecords(0x0000, 200, 1), {startLinear(0x08000101), endOfFile}}),
        concat({{extendedLinear(0x0800)},
                dataRecords(0x4000, 300, 2),
                {extendedLinear(0x0801)},
                dataRecords(0x0000, 40, 3),
                {startLinear(0x08004101), endOfFile}})};
}

struct ShapeCase {
    const char* name;
    HexPair pair;
};

void PrintTo(const ShapeCase& shape, std::ostream* out) {
    *out << shape.name;
}

class MergeShapes : public testing::TestWithParam<ShapeCase> {};

bool isStartAddress(const std::string& record) {
    return record.compare(7, 2, "03") == 0 || record.compare(7, 2, "05") == 0;
}

// The merged file holds the UBL's records but its start address and end-of-file records,
// the APP's records but its first and last two, the markers, then the APP's last two records.
TEST_P(MergeShapes, GivesTheRecordsInLayoutOrder) {
    const HexPair& pair = GetParam().pair;
    const std::string ubl = crlfJoin(pair.ubl);
    const std::string app = crlfJoin(pair.app);

    const HexMergeResult result = mergeHexImages(bytesOf(ubl), bytesOf(app));
    ASSERT_FALSE(result.problem) << result.problem->problem.what;

    std::vector<std::string> expected;
    std::copy_if(pair.ubl.begin(), pair.ubl.end() - 1, std::back_inserter(expected),
                 [](const std::string& record) { return !isStartAddress(record); });
    expected.insert(expected.end(), pair.app.begin() + 1, pair.app.end() - 2);
    expected.push_back(":020000040803EF");
    expected.push_back(":04CFFC00000600A586");
    expected.insert(expected.end(), pair.app.end() - 2, pair.app.end());
    EXPECT_EQ(textOf(result.bytes), crlfJoin(expected));
}

// A reader of the merged file finds the marker bytes and every data byte of both inputs at
// the address it had in its own file.
TEST_P(MergeShapes, KeepsEveryDataByteAndPlacesTheMarker) {
    const std::string ubl = crlfJoin(GetParam().pair.ubl);
    const std::string app = crlfJoin(GetParam().pair.app);
    const HexMergeResult result = mergeHexImages(bytesOf(ubl), bytesOf(app));
    ASSERT_FALSE(result.problem) << result.problem->problem.what;

    const ParsedHex merged = parseHex(textOf(result.bytes));
    EXPECT_EQ(merged.endOfFileRecords, 1);
    EXPECT_TRUE(merged.endOfFileLast);
    for (const std::string* input : {&ubl, &app}) {
        for (const auto& [address, value] : parseHex(*input).memory) {
            ASSERT_TRUE(merged.memory.contains(address)) << std::hex << address;
            EXPECT_EQ(merged.memory.at(address), value) << std::hex << address;
        }
    }
    const std::vector<std::uint8_t> marker{0x00, 0x06, 0x00, 0xA5};
    for (std::uint32_t i = 0; i < marker.size(); ++i) {
        ASSERT_TRUE(merged.memory.contains(0x0803CFFC + i));
        EXPECT_EQ(merged.memory.at(0x0803CFFC + i), marker[i]);
    }
    const std::size_t inputBytes = parseHex(ubl).memory.size() + parseHex(app).memory.size();
    EXPECT_EQ(merged.memory.size(), inputBytes + marker.size());
    // The merged file passes the same checks as an input would.
    HexFileSummary summary;
    EXPECT_FALSE(scanHexFile(result.bytes, summary));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MergeShapes,
    testing::Values(ShapeCase{"Typical", typicalPair()},
                    ShapeCase{"SmallestInputs",
                              {{dataRecords(0x0000, 1, 4)[0], endOfFile},
                               {extendedLinear(0x0000), startLinear(0), endOfFile}}},
                    ShapeCase{"UblWithoutAddressRecordAppAtZero",
                              {concat({dataRecords(0x0100, 33, 5), {endOfFile}}),
                               concat({{extendedLinear(0x0000)},
                                       dataRecords(0x2000, 17, 6),
                                       {startLinear(0x2001), endOfFile}})}},
                    ShapeCase{"UblEndsInSegmentAddressOfTheSameBase",
                              {concat({{extendedSegment(0x8000)}, dataRecords(0x0000, 20, 7), {endOfFile}}),
                               concat({{extendedLinear(0x0008)},
                                       dataRecords(0x1000, 20, 8),
                                       {startLinear(0x81001), endOfFile}})}},
                    ShapeCase{"TouchingTheOtherFileAndTheFixedBytes",
                              {concat({linearImage(0x08000000, 0x1000, 9), {endOfFile}}),
                               concat({linearImage(0x08001000, 0x3BFFC, 10),
                                       linearImage(0x0803D000, 16, 11),
                                       {startLinear(0x08001001), endOfFile}})}},
                    ShapeCase{"LowerCaseDigits",
                              {{":0400000001abcdef94", endOfFile},
                               {":020000040000fa", ":0200100012ab31", startLinear(0x10), endOfFile}}}),
    [](const testing::TestParamInfo<ShapeCase>& param) { return std::string(param.param.name); });

// Bad inputs: each is refused by the merge on files with its own message, nothing is
// written and an output already there keeps its bytes.
struct BadCase {
    const char* name;
    std::string ubl;
    std::string app;
    MergeInput culprit;
    std::size_t line;
    const char* what; // part of the message
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

std::string lfOnly(std::string text) {
    std::erase(text, '\r');
    return text;
}

const std::string goodUbl = crlfJoin(typicalPair().ubl);
const std::string goodApp = crlfJoin(typicalPair().app);

std::vector<BadCase> badCases() {
    const std::string secondUblRecord = typicalPair().ubl[1];
    std::string badChecksum = secondUblRecord;
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    std::string nonHex = typicalPair().app[2];
    nonHex[12] = 'G';
    return {
        {"UblBadChecksum", replaced(goodUbl, secondUblRecord, badChecksum), goodApp, MergeInput::Ubl, 2,
         "checksum"},
        {"AppNonHexCharacter", goodUbl, replaced(goodApp, typicalPair().app[2], nonHex), MergeInput::App, 3,
         "'G' in column 13 is not a hexadecimal digit"},
        {"UblWithoutEndOfFile", crlfJoin(concat({{extendedLinear(0x0800)}, dataRecords(0, 40, 1)})), goodApp,
         MergeInput::Ubl, 4, "no end-of-file record"},
        {"AppWithoutEndOfFile", goodUbl,
         crlfJoin(concat({{extendedLinear(0x0800)}, dataRecords(0x4000, 40, 2), {startLinear(0x08004001)}})),
         MergeInput::App, 5, "no end-of-file record"},
        {"AppWithoutLeadingAddressRecord", goodUbl,
         crlfJoin(concat({dataRecords(0x4000, 40, 2), {startLinear(0x08004001), endOfFile}})),
         MergeInput::App, 1, "starts with an extended linear address record"},
        {"AppWithoutStartAddressRecord", goodUbl,
         crlfJoin(concat({{extendedLinear(0x0800)}, dataRecords(0x4000, 40, 2), {endOfFile}})),
         MergeInput::App, 5,
         "no start linear address record (:04000005...); the merged file takes its start"},
        {"AppWithStartSegmentAddressOnly", goodUbl,
         crlfJoin(concat({{extendedLinear(0x0800)},
                          dataRecords(0x4000, 40, 2),
                          {hexRecord(0x03, 0, {0, 0, 0x40, 0x01}), endOfFile}})),
         MergeInput::App, 6, "-execution-start-address"},
        {"AppStartAddressNotNextToLast", goodUbl,
         crlfJoin(concat(
             {{extendedLinear(0x0800), startLinear(0x08004001)}, dataRecords(0x4000, 40, 2), {endOfFile}})),
         MergeInput::App, 5, "ends with a start linear address record"},
        {"UblShorterThanItsCut", crlfJoin({endOfFile}), goodApp, MergeInput::Ubl, 1,
         "13 bytes long; a UBL file needs at least 15"},
        {"AppShorterThanItsCuts", goodUbl, crlfJoin({extendedLinear(0x0800), endOfFile}), MergeInput::App, 2,
         "30 bytes long; an APP file needs at least 49"},
        {"UblEmpty", "", goodApp, MergeInput::Ubl, 1, "the file is empty"},
        {"AppEmpty", goodUbl, "", MergeInput::App, 1, "the file is empty"},
        {"UblLastLineWithoutLineEnd", goodUbl.substr(0, goodUbl.size() - 2), goodApp, MergeInput::Ubl, 16,
         "no CR LF line end"},
        {"AppEndsWithoutCrLf", goodUbl, goodApp.substr(0, goodApp.size() - 2), MergeInput::App, 26,
         "no CR LF line end"},
        {"UblTrailingBlankLine", goodUbl + "\r\n", goodApp, MergeInput::Ubl, 17,
         "a line follows the end-of-file record"},
        {"AppBlankLine", goodUbl,
         crlfJoin(concat({{extendedLinear(0x0800), ""},
                          dataRecords(0x4000, 40, 2),
                          {startLinear(0x08004001), endOfFile}})),
         MergeInput::App, 2, "empty line"},
        {"UblRecordLongerThanItsCount", replaced(goodUbl, secondUblRecord, secondUblRecord + "00"), goodApp,
         MergeInput::Ubl, 2, "characters long, its byte count 0x10 needs 43"},
        {"UblUnknownRecordType", crlfJoin({hexRecord(0x06, 0, {1, 2}), endOfFile}), goodApp, MergeInput::Ubl,
         1, "unknown record type 0x06"},
        {"AppAddressRecordOfWrongSize", goodUbl,
         crlfJoin(concat({{extendedLinear(0x0800)},
                          dataRecords(0x4000, 40, 2),
                          {hexRecord(0x05, 0, {1, 2}), endOfFile}})),
         MergeInput::App, 5, "start linear address record carries 2 data bytes, 4 expected"},
        {"UblMissingColon", replaced(goodUbl, secondUblRecord, secondUblRecord.substr(1) + "0"), goodApp,
         MergeInput::Ubl, 2, "starts with '"},
        {"CrInsideRecord",
         replaced(goodUbl, secondUblRecord, secondUblRecord.substr(0, 5) + "\r" + secondUblRecord.substr(6)),
         goodApp, MergeInput::Ubl, 2, "byte 0x0D in column 6"},
    };
}

void PrintTo(const BadCase& bad, std::ostream* out) {
    *out << bad.name;
}

class MergeRefuses : public testing::TestWithParam<BadCase> {};

TEST_P(MergeRefuses, NamesFileAndLineAndWritesNothing) {
    const BadCase& bad = GetParam();
    TempFolder folder;
    const std::string ubl = folder.file("boot.hex");
    const std::string app = folder.file("app.hex");
    writeFile(ubl, bad.ubl);
    writeFile(app, bad.app);

    const auto problem = checkMergeInputs(bytesOf(bad.ubl), bytesOf(bad.app));
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->input, bad.culprit);
    EXPECT_EQ(problem->problem.line, bad.line) << problem->problem.what;
    EXPECT_NE(problem->problem.what.find(bad.what), std::string::npos) << problem->problem.what;

    const MergeOutcome outcome = MergeHexFiles({ubl, app, {}});
    EXPECT_FALSE(outcome.written);
    const std::string culpritPath = bad.culprit == MergeInput::Ubl ? ubl : app;
    EXPECT_EQ(outcome.error,
              culpritPath + " line " + std::to_string(bad.line) + ": " + problem->problem.what);
    EXPECT_EQ(outcome.logText, outcome.error + "\r\n");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"app.hex", "boot.hex"}));

    writeFile(folder.file("appall.hex"), "earlier merge");
    EXPECT_FALSE(MergeHexFiles({ubl, app, {}}).written);
    EXPECT_EQ(readFile(folder.file("appall.hex")), "earlier merge");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"app.hex", "appall.hex", "boot.hex"}));
}

INSTANTIATE_TEST_SUITE_P(Inputs, MergeRefuses, testing::ValuesIn(badCases()),
                         [](const testing::TestParamInfo<BadCase>& param) {
                             return std::string(param.param.name);
                         });

// Line ends carry nothing: files with LF alone (what srec_cat writes on Linux) or with both
// kinds merge to exactly the bytes their CR LF forms give, CR LF throughout.
struct LineEndCase {
    const char* name;
    HexPair pair; // with CR LF
    std::string (*ublForm)(std::string);
    std::string (*appForm)(std::string);
};

std::string asIs(std::string text) {
    return text;
}

std::string firstLineLfOnly(std::string text) {
    text.erase(text.find('\r'), 1);
    return text;
}

void PrintTo(const LineEndCase& c, std::ostream* out) {
    *out << c.name;
}

class MergeLineEnds : public testing::TestWithParam<LineEndCase> {};

TEST_P(MergeLineEnds, GiveWhatTheirCrLfFormsGive) {
    const LineEndCase& c = GetParam();
    const std::string ubl = crlfJoin(c.pair.ubl);
    const std::string app = crlfJoin(c.pair.app);
    const HexMergeResult crlf = mergeHexImages(bytesOf(ubl), bytesOf(app));
    ASSERT_FALSE(crlf.problem);
    TempFolder folder;
    writeFile(folder.file("u.hex"), c.ublForm(ubl));
    writeFile(folder.file("a.hex"), c.appForm(app));

    const MergeOutcome outcome = MergeHexFiles({folder.file("u.hex"), folder.file("a.hex"), {}});
    ASSERT_TRUE(outcome.written) << outcome.error;
    EXPECT_EQ(readFile(outcome.outputPath), textOf(crlf.bytes));
    const std::string ublForm = c.ublForm(ubl);
    const std::string appForm = c.appForm(app);
    EXPECT_EQ(mergeHexImages(bytesOf(ublForm), bytesOf(appForm)).bytes, crlf.bytes);
}

const HexPair smallestPair{{dataRecords(0x0000, 1, 4)[0], endOfFile},
                           {extendedLinear(0x0000), startLinear(0), endOfFile}};

INSTANTIATE_TEST_SUITE_P(
    Inputs, MergeLineEnds,
    testing::Values(LineEndCase{"UblLfOnly", typicalPair(), lfOnly, asIs},
                    LineEndCase{"AppLfOnly", typicalPair(), asIs, lfOnly},
                    LineEndCase{"BothLfOnly", typicalPair(), lfOnly, lfOnly},
                    LineEndCase{"BothKindsInOneFile", typicalPair(), firstLineLfOnly, asIs},
                    // 48 bytes with LF alone, short of the 49 the cut counts need with CR LF.
                    LineEndCase{"SmallestInputsLfOnly", smallestPair, lfOnly, lfOnly}),
    [](const testing::TestParamInfo<LineEndCase>& param) { return std::string(param.param.name); });

// Files as toolchains write them: the UBL's start address records are left out, and an APP
// whose first record sets a base the UBL does not end with keeps it. Every byte lands where
// its own file puts it, and the APP's start address is the merged file's only one, next to
// last; on files, with CR LF or LF alone, as on buffers.
struct ToolchainCase {
    const char* name;
    HexPair pair;
    int lengthChange; // against the usual Lu + La + 8
};

void PrintTo(const ToolchainCase& c, std::ostream* out) {
    *out << c.name;
}

class MergeToolchainFiles : public testing::TestWithParam<ToolchainCase> {};

TEST_P(MergeToolchainFiles, PutEveryByteWhereItsFileDoesWithOneStartAddress) {
    const ToolchainCase& c = GetParam();
    const std::string ubl = crlfJoin(c.pair.ubl);
    const std::string app = crlfJoin(c.pair.app);
    const HexMergeResult result = mergeHexImages(bytesOf(ubl), bytesOf(app));
    ASSERT_FALSE(result.problem) << result.problem->problem.what;
    EXPECT_EQ(result.bytes.size(), ubl.size() + app.size() + 8 + c.lengthChange);

    const ParsedHex merged = parseHex(textOf(result.bytes));
    std::map<std::uint32_t, std::uint8_t> expected = parseHex(ubl).memory;
    expected.merge(parseHex(app).memory);
    for (std::uint32_t i = 0; i < 4; ++i) {
        expected[0x0803CFFC + i] = std::array<std::uint8_t, 4>{0x00, 0x06, 0x00, 0xA5}[i];
    }
    EXPECT_EQ(merged.memory, expected);
    std::vector<std::string> starts;
    std::copy_if(merged.records.begin(), merged.records.end(), std::back_inserter(starts), isStartAddress);
    EXPECT_EQ(starts, std::vector<std::string>{c.pair.app.end()[-2]});
    EXPECT_EQ(merged.records.end()[-2], c.pair.app.end()[-2]);

    TempFolder folder;
    writeFile(folder.file("u.hex"), lfOnly(ubl));
    writeFile(folder.file("a.hex"), app);
    writeFile(folder.file("ucrlf.hex"), ubl);
    for (const char* ublName : {"u.hex", "ucrlf.hex"}) {
        const MergeOutcome outcome = MergeHexFiles({folder.file(ublName), folder.file("a.hex"), {}});
        ASSERT_TRUE(outcome.written) << outcome.error;
        EXPECT_EQ(readFile(outcome.outputPath), textOf(result.bytes)) << ublName;
    }
}

HexPair objcopyBootLoaderWith(std::vector<std::string> app) {
    return {concat({linearImage(0x08000000, 0x100, 1), {startLinear(0x08000101), endOfFile}}),
            std::move(app)};
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MergeToolchainFiles,
    testing::Values(
        ToolchainCase{"BootLoaderStartAddressLeftOut",
                      objcopyBootLoaderWith(concat({linearImage(0x08004000, 0x100, 2),
                                                    {startLinear(0x08004101), endOfFile}})),
                      -21},
        ToolchainCase{"EveryBootLoaderStartAddressLeftOut",
                      {concat({{hexRecord(0x03, 0, {0, 0, 0x12, 0x34})},
                               linearImage(0x08000000, 0x100, 1),
                               {startLinear(0x08000101), endOfFile}}),
                       concat({linearImage(0x08004000, 0x100, 2), {startLinear(0x08004101), endOfFile}})},
                      -42},
        ToolchainCase{"ApplicationInTheNextWindow",
                      objcopyBootLoaderWith(concat({linearImage(0x08010000, 0x100, 2),
                                                    {startLinear(0x08010101), endOfFile}})),
                      -21 + 17},
        ToolchainCase{"ApplicationInALowerWindow",
                      {concat({{extendedLinear(0x0800)}, dataRecords(0, 16, 1), {endOfFile}}),
                       concat({{extendedLinear(0x0000)},
                               dataRecords(0x4000, 40, 2),
                               {startLinear(0x4001), endOfFile}})},
                      17},
        ToolchainCase{"BootLoaderWithoutAddressRecord",
                      {concat({dataRecords(0x0100, 33, 5), {endOfFile}}),
                       concat({linearImage(0x08010000, 0x100, 2), {startLinear(0x08010101), endOfFile}})},
                      17},
        // Under the UBL's segment base the record at 0xFFFF would wrap; under its own it runs on.
        ToolchainCase{
            "RecordPastSegmentEndAfterBootLoaderSegmentBase",
            {concat({{extendedSegment(0x0000)}, dataRecords(0, 16, 1), {endOfFile}}),
             {extendedLinear(0x0000), hexRecord(0x00, 0xFFFF, {1, 2, 3}), startLinear(0x4001), endOfFile}},
            17}),
    [](const testing::TestParamInfo<ToolchainCase>& param) { return std::string(param.param.name); });

// Data that both inputs hold, or that lies where the merge puts 00 06 00 A5, would give a
// file with two values for one address: refused, naming the first such address, nothing
// written.
struct ClashCase {
    const char* name;
    HexPair pair;
    MergeInput culprit;
    std::size_t line;
    std::string error; // {ubl} and {app} stand for the paths
    std::uint8_t languageFlag = 1;
};

void PrintTo(const ClashCase& c, std::ostream* out) {
    *out << c.name;
}

std::string withPaths(std::string text, const std::string& ubl, const std::string& app) {
    for (const auto& [from, to] :
         {std::pair{std::string("{ubl}"), ubl}, std::pair{std::string("{app}"), app}}) {
        if (const auto at = text.find(from); at != std::string::npos) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

class MergeClashes : public testing::TestWithParam<ClashCase> {};

TEST_P(MergeClashes, AreRefusedAtTheFirstAddressAndNothingIsWritten) {
    const ClashCase& c = GetParam();
    const std::string ubl = crlfJoin(c.pair.ubl);
    const std::string app = crlfJoin(c.pair.app);
    const auto problem = checkMergeInputs(bytesOf(ubl), bytesOf(app));
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->input, c.culprit);
    EXPECT_EQ(problem->problem.line, c.line) << problem->problem.what;

    TempFolder folder;
    writeFile(folder.file("u.hex"), ubl);
    writeFile(folder.file("a.hex"), app);
    const MergeOutcome outcome =
        MergeHexFiles({folder.file("u.hex"), folder.file("a.hex"), {}, languageOfFlag(c.languageFlag)});
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.error, withPaths(c.error, folder.file("u.hex"), folder.file("a.hex")));
    EXPECT_EQ(outcome.logText, outcome.error + "\r\n");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.hex", "u.hex"}));
}

const std::string overlapAt1000 =
    "{app} line 2: data at 0x08001000, which line 258 of {ubl} holds too: the boot loader and the "
    "application overlap";

HexPair bootLoaderRunningIntoTheApplication() {
    return {concat({linearImage(0x08000000, 0x2000, 1), {endOfFile}}),
            concat({linearImage(0x08001000, 64, 2), {startLinear(0x08001001), endOfFile}})};
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MergeClashes,
    testing::Values(
        ClashCase{"BootLoaderRunsIntoTheApplication", bootLoaderRunningIntoTheApplication(), MergeInput::App,
                  2, overlapAt1000},
        ClashCase{"BootLoaderRunsIntoTheApplicationChinese", bootLoaderRunningIntoTheApplication(),
                  MergeInput::App, 2,
                  "{app} 第 2 行：地址 0x08001000 的数据，{ubl} 第 258 行也有：引导程序与应用程序重叠", 0},
        ClashCase{"OneByteInCommon",
                  {concat({linearImage(0x08000000, 0x1000, 1), {endOfFile}}),
                   {extendedLinear(0x0800), hexRecord(0x00, 0x0FFF, {0xAB, 0xCD}), startLinear(0x08001001),
                    endOfFile}},
                  MergeInput::App,
                  2,
                  "{app} line 2: data at 0x08000FFF, which line 257 of {ubl} holds too: the boot loader and "
                  "the application overlap"},
        // The first address both hold, not the first record of either file.
        ClashCase{"ApplicationBelowAndIntoTheBootLoader",
                  {concat({linearImage(0x08000080, 0x100, 1), {endOfFile}}),
                   concat({linearImage(0x08000000, 0x100, 2), {startLinear(0x08000001), endOfFile}})},
                  MergeInput::App,
                  10,
                  "{app} line 10: data at 0x08000080, which line 2 of {ubl} holds too: the boot loader and "
                  "the application overlap"},
        // Within a segment base the offset wraps: the last record also fills 0x80000 to 0x80007.
        ClashCase{"SegmentOffsetWrapsOntoTheApplication",
                  {{extendedSegment(0x8000), dataRecords(0xFFF8, 16, 3)[0], endOfFile},
                   {extendedLinear(0x0008), hexRecord(0x00, 0x0004, {1, 2, 3, 4}), startLinear(0x80001),
                    endOfFile}},
                  MergeInput::App,
                  2,
                  "{app} line 2: data at 0x00080004, which line 2 of {ubl} holds too: the boot loader and "
                  "the application overlap"},
        // And a linear address within 4 GiB.
        ClashCase{"LinearAddressWrapsOntoTheApplication",
                  {{extendedLinear(0xFFFF), dataRecords(0xFFF8, 16, 3)[0], endOfFile},
                   {extendedLinear(0xFFFF), extendedLinear(0x0000), hexRecord(0x00, 0x0004, {1, 2}),
                    startLinear(0x1), endOfFile}},
                  MergeInput::App,
                  3,
                  "{app} line 3: data at 0x00000004, which line 2 of {ubl} holds too: the boot loader and "
                  "the application overlap"},
        ClashCase{"ApplicationOverTheFixedBytes",
                  {concat({linearImage(0x08000000, 0x100, 1), {endOfFile}}),
                   concat({linearImage(0x08001000, 250000, 2), {startLinear(0x08001001), endOfFile}})},
                  MergeInput::App,
                  15364,
                  "{app} line 15364: data at 0x0803CFFC, where the merge puts its fixed bytes 00 06 00 A5 "
                  "(0x0803CFFC to 0x0803CFFF)"},
        ClashCase{
            "BootLoaderOverTheFixedBytesChinese",
            {{extendedLinear(0x0803), hexRecord(0x00, 0xCFFE, {1, 2, 3}), endOfFile},
             {extendedLinear(0x0803), hexRecord(0x00, 0xD000, {4, 5}), startLinear(0x0803D001), endOfFile}},
            MergeInput::Ubl,
            2,
            "{ubl} 第 2 行：地址 0x0803CFFE 有数据，而合并要在那里写入固定字节 00 06 00 A5"
            "（0x0803CFFC 至 0x0803CFFF）",
            0}),
    [](const testing::TestParamInfo<ClashCase>& param) { return std::string(param.param.name); });

TEST(MergeHexFiles, WritesBesideTheAppFileAndReplacesAnEarlierMerge) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "boot");
    const std::string ubl = folder.file("boot/ubl.hex");
    const std::string app = folder.file("camera.v2.hex");
    writeFile(ubl, goodUbl);
    writeFile(app, goodApp);
    const std::string expected = textOf(mergeHexImages(bytesOf(goodUbl), bytesOf(goodApp)).bytes);
    writeFile(folder.file("camera.v2all.hex"), std::string(expected.size() * 2, 'x'));

    for (int pick = 0; pick < 2; ++pick) {
        const MergeOutcome outcome = MergeHexFiles({ubl, app, {}});
        ASSERT_TRUE(outcome.written) << outcome.error;
        EXPECT_EQ(outcome.outputPath, folder.file("camera.v2all.hex"));
        EXPECT_TRUE(outcome.error.empty());
        EXPECT_TRUE(outcome.logText.empty());
        EXPECT_EQ(readFile(outcome.outputPath), expected);
    }
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"boot", "camera.v2.hex", "camera.v2all.hex"}));
}

TEST(MergeHexFiles, WritesToAnExplicitOutputPath) {
    TempFolder folder;
    writeFile(folder.file("u.hex"), goodUbl);
    writeFile(folder.file("a.hex"), goodApp);
    const MergeOutcome outcome =
        MergeHexFiles({folder.file("u.hex"), folder.file("a.hex"), folder.file("out.hex")});
    ASSERT_TRUE(outcome.written) << outcome.error;
    EXPECT_EQ(outcome.outputPath, folder.file("out.hex"));
    // Less the UBL's 21-byte start linear address record.
    EXPECT_EQ(readFile(folder.file("out.hex")).size(), goodUbl.size() + goodApp.size() + 8 - 21);
    EXPECT_FALSE(std::filesystem::exists(folder.file("aall.hex")));
}

struct MissingPathCase {
    const char* name;
    bool ublGiven;
    bool appGiven;
    std::uint8_t flag;
    std::string log;
};

class MergeMissingPath : public testing::TestWithParam<MissingPathCase> {};

TEST_P(MergeMissingPath, LogsPleaseSelectFileWithTag) {
    const MissingPathCase& c = GetParam();
    TempFolder folder;
    writeFile(folder.file("u.hex"), goodUbl);
    writeFile(folder.file("a.hex"), goodApp);

    const MergeOutcome outcome = MergeHexFiles({c.ublGiven ? folder.file("u.hex") : "",
                                                c.appGiven ? folder.file("a.hex") : "",
                                                {},
                                                languageOfFlag(c.flag)});
    EXPECT_FALSE(outcome.written);
    EXPECT_TRUE(outcome.missingPath);
    EXPECT_EQ(outcome.logText, c.log);
    EXPECT_EQ(threadLanguage(), TextLanguage::English) << "the merge leaves the caller's thread alone";
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.hex", "u.hex"}));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MergeMissingPath,
    testing::Values(MissingPathCase{"NoUbl", false, true, 1, "Please Select File !1\r\n"},
                    MissingPathCase{"NeitherFile", false, false, 1, "Please Select File !1\r\n"},
                    MissingPathCase{"NoApp", true, false, 1, "Please Select File !2\r\n"},
                    MissingPathCase{"NoUblChinese", false, true, 0, "请选择文件！1\r\n"},
                    MissingPathCase{"NoAppChinese", true, false, 7, "请选择文件！2\r\n"}),
    [](const testing::TestParamInfo<MissingPathCase>& param) { return std::string(param.param.name); });

TEST(MergeHexFiles, ReportsInputsThatCannotBeReadWithPathAndReason) {
    TempFolder folder;
    writeFile(folder.file("u.hex"), goodUbl);
    writeFile(folder.file("a.hex"), goodApp);
    std::filesystem::create_directory(folder.path() / "dir.hex");
    struct Case {
        std::string ubl, app, log;
    } cases[] = {
        {folder.file("none.hex"), folder.file("a.hex"),
         "Cannot read " + folder.file("none.hex") + ": No such file or directory\r\n"},
        {folder.file("u.hex"), folder.file("none.hex"),
         "Cannot read " + folder.file("none.hex") + ": No such file or directory\r\n"},
        {folder.file("dir.hex"), folder.file("a.hex"),
         "Cannot read " + folder.file("dir.hex") + ": Is a directory\r\n"},
        {folder.file("u.hex"), folder.file("dir.hex"),
         "Cannot read " + folder.file("dir.hex") + ": Is a directory\r\n"},
        // An unreadable UBL is reported before a missing APP path.
        {folder.file("none.hex"), "",
         "Cannot read " + folder.file("none.hex") + ": No such file or directory\r\n"},
    };
    for (const Case& c : cases) {
        const MergeOutcome outcome = MergeHexFiles({c.ubl, c.app, {}});
        EXPECT_FALSE(outcome.written);
        EXPECT_EQ(outcome.logText, c.log);
    }
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.hex", "dir.hex", "u.hex"}));
}

// /proc files announce a length of 0 and then deliver text: a file whose content does not
// match the length it had when opened must not be merged as it came.
TEST(MergeHexFiles, RefusesAFileThatDoesNotMatchItsLength) {
    if (!std::filesystem::exists("/proc/self/status")) {
        GTEST_SKIP() << "no /proc";
    }
    TempFolder folder;
    writeFile(folder.file("a.hex"), goodApp);
    const MergeOutcome outcome = MergeHexFiles({"/proc/self/status", folder.file("a.hex"), {}});
    EXPECT_FALSE(outcome.written);
    EXPECT_NE(outcome.error.find("Cannot read /proc/self/status: the file changed while it was read"),
              std::string::npos)
        << outcome.error;
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.hex"}));
}

TEST(MergeHexFiles, ReportsAnOutputThatCannotBeWritten) {
    TempFolder folder;
    writeFile(folder.file("u.hex"), goodUbl);
    writeFile(folder.file("a.hex"), goodApp);
    writeFile(folder.file("plain"), "a file, not a folder");
    std::filesystem::create_directory(folder.path() / "aall.hex");

    MergeOutcome outcome = MergeHexFiles({folder.file("u.hex"), folder.file("a.hex"), {}});
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.logText, "Cannot write " + folder.file("aall.hex") + ": Is a directory\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "aall.hex"));

    outcome = MergeHexFiles({folder.file("u.hex"), folder.file("a.hex"), folder.file("plain/out.hex")});
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.error, "Cannot write " + folder.file("plain/out.hex") + ": Not a directory");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.hex", "aall.hex", "plain", "u.hex"}));
}

} // namespace
} // namespace orvane
