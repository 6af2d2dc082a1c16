// Joins a boot loader (UBL) Intel HEX file and an application (APP) HEX file into the one
// HEX file a technician flashes, with two records that put 00 06 00 A5 at 0x0803CFFC.
//
// The merged file holds the UBL's records but its end-of-file record, the APP's records but
// its last two (start linear address and end-of-file), the two marker records, then those
// two. The UBL's start address records (types 03 and 05, which objcopy writes into every
// file) are left out: the flashed file starts where the application says, and HEX readers
// refuse a file with two start addresses. The APP's leading extended linear address record
// is left out only where it changes nothing, when the UBL ends under the same base; an APP in
// another 64 KiB window keeps it, so that every byte lands where the APP file puts it. For
// the usual pair, a UBL without start address records and an APP in its window, that is a
// splice by fixed counts: the UBL up to its last 15 bytes, the APP from byte 15 up to its last
// 34 bytes, the markers, those 34 bytes.
//
// The inputs are checked first; anything else is refused with a message naming the file and
// line, and nothing is written. Lines may end in LF alone (srec_cat's default on Linux): such
// a file is merged as its CR LF form, so the output has CR LF throughout. Data that both
// inputs put at one address, or that lies under the fixed bytes, is refused too: the flashed
// file would hold two values for one address.
#pragma once

#include "imagetools/hex_records.h"
#include "text/text_language.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

inline constexpr std::string_view MarkerAddressRecord = ":020000040803EF\r\n";
inline constexpr std::string_view MarkerDataRecord = ":04CFFC00000600A586\r\n";
inline constexpr std::string_view mergedNameSuffix = "all.hex";

inline constexpr std::size_t ublTailCut = 15;  // CR LF + ":00000001FF" CR LF
inline constexpr std::size_t appHeadCut = 15;  // ":02000004xxxxcc"
inline constexpr std::size_t appTailKept = 34; // ":04000005xxxxxxxxcc" CR LF + ":00000001FF" CR LF
inline constexpr std::size_t minimumUblLength = ublTailCut;
inline constexpr std::size_t minimumAppLength = appHeadCut + appTailKept;
inline constexpr std::size_t mergedLengthGain =
    MarkerAddressRecord.size() + MarkerDataRecord.size() - ublTailCut - appHeadCut; // 8
// What the merged file may be longer than both inputs: the APP's first record and a line end
// stay when it moves to another window.
inline constexpr std::size_t mergeBufferSpare = mergedLengthGain + appHeadCut + 2; // 25
// Where MarkerDataRecord puts its four bytes.
inline constexpr std::uint32_t markerAddress = 0x0803CFFC;
inline constexpr std::uint32_t markerLength = 4;

enum class MergeInput { Ubl, App };

enum class MergeClash {
    None,       // the problem is the file's own shape
    Overlap,    // the APP fills an address the UBL fills too
    FixedBytes, // the file fills an address of the fixed bytes
};

struct MergeInputProblem {
    MergeInput input = MergeInput::Ubl; // the file named; the APP for an overlap
    HexProblem problem;                 // its line, and what is wrong in English
    MergeClash clash = MergeClash::None;
    std::uint64_t address = 0; // a clash's first address
    std::size_t ublLine = 0;   // an overlap's line in the UBL
};

// The first reason the two files cannot be merged, or nothing: a shape the cut counts do not
// fit, then the lowest address that both inputs, or an input and the fixed bytes, would fill.
std::optional<MergeInputProblem> checkMergeInputs(std::span<const std::uint8_t> ubl,
                                                  std::span<const std::uint8_t> app);

// The problem as one line naming the file (by its path) and line, in language.
std::string mergeProblemText(const MergeInputProblem& problem, std::string_view ublPath,
                             std::string_view appPath, TextLanguage language);

struct HexMergeResult {
    // For the usual pair with CR LF ubl.size() + app.size() + 8 bytes; empty on a problem.
    std::vector<std::uint8_t> bytes;
    std::optional<MergeInputProblem> problem;
};

// The merged file for two checked inputs, or the first problem found in them.
HexMergeResult mergeHexImages(std::span<const std::uint8_t> ubl, std::span<const std::uint8_t> app);

// For the file operation, which holds both inputs in one buffer: whether they are checked
// sound, whether every line of both ends in CR LF (only then does spliceMergeInPlace apply;
// otherwise mergeHexImages builds the merged file), and whether the APP's first record stays.
struct MergeCheck {
    std::optional<MergeInputProblem> problem;
    bool crlfOnly = true;
    bool keepAppFirstRecord = false;
};
MergeCheck checkMergeBuffers(std::span<const std::uint8_t> ubl, std::span<const std::uint8_t> app);

// buffer holds the UBL (ublLength bytes), the APP right after it and mergeBufferSpare spare
// bytes, both checked sound and CR LF only; rearranges its start into the merged file and
// answers that file's length.
std::size_t spliceMergeInPlace(std::span<std::uint8_t> buffer, std::size_t ublLength, std::size_t appLength,
                               bool keepAppFirstRecord);

// FileNameOfPath(appPath, false) + "all.hex": app.hex gives appall.hex.
std::string mergedFileNameOf(std::string_view appPath);
// The merged file beside the APP file.
std::string mergedPathOf(std::string_view appPath);

struct MergeRequest {
    std::string ublPath;                           // empty: no UBL file chosen
    std::string appPath;                           // empty: no APP file chosen
    std::string outputPath;                        // empty: mergedPathOf(appPath)
    TextLanguage language = TextLanguage::English; // of the messages
};

struct MergeOutcome {
    bool written = false;
    std::string outputPath;     // the file written, or that would have been
    std::string error;          // one line, empty when written
    std::string logText;        // to append to the log: error and CR LF; empty when written
    bool missingPath = false;   // no UBL or no APP file was chosen
    bool inputUnusable = false; // an input could not be opened or read (as opposed to refused)
};

// The merge as the dialog's APP button and the command line run it: reads both files whole,
// checks them, writes the merged file with WriteWholeFile. Touches no user interface; the
// caller appends logText to its log. A missing path gives "Please Select File !" with the
// tag 1 (UBL) or 2 (APP) in the request's language; an unreadable, short, misshapen or
// clashing input, one file given as both inputs, an output that is one of the inputs (under
// whatever name), or a failed write, gives a line with the path and the reason. Nothing is
// written unless both inputs are sound.
MergeOutcome MergeHexFiles(const MergeRequest& request);

} // namespace orvane
