// The HEX merge on buffers: shape and clash checks, the byte splice, the output's name.
#include "imagetools/hex_merge.h"

#include "imagetools/address_ranges.h"
#include "imagetools/file_name.h"
#include "text/string_table.h"

#include <cstdio>
#include <cstring>

namespace orvane {
namespace {

constexpr std::size_t endOfFileLineLength = 13; // ":00000001FF" CR LF

std::string hexAddress(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

// "0x04 (extended linear address)".
std::string describeType(std::uint8_t type) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(type));
    return std::string(text) + " (" + hexRecordTypeName(type) + ")";
}

std::size_t lineCountOf(std::span<const std::uint8_t> bytes) {
    std::size_t lines = 0;
    for (const std::uint8_t byte : bytes) {
        lines += byte == '\n' ? 1 : 0;
    }
    return (bytes.empty() || bytes.back() == '\n') ? lines : lines + 1;
}

// The cut counts apply to the CR LF form, crlfLength bytes long.
std::optional<HexProblem> checkLength(std::span<const std::uint8_t> bytes, std::size_t crlfLength,
                                      std::size_t minimum, const char* role) {
    if (bytes.empty()) {
        return HexProblem{1, "the file is empty"};
    }
    if (crlfLength < minimum) {
        const char* form = crlfLength == bytes.size() ? "" : " with CR LF line ends";
        return HexProblem{lineCountOf(bytes), "the file is " + std::to_string(crlfLength) + " bytes long" +
                                                  form + "; " + role + " file needs at least " +
                                                  std::to_string(minimum)};
    }
    return std::nullopt;
}

// One scanned input: its shape and the addresses its data fills.
struct ScannedInput {
    HexFileSummary summary;
    AddressRanges data;
};

std::optional<HexProblem> scan(std::span<const std::uint8_t> bytes, ScannedInput& input) {
    return scanHexFile(bytes, input.summary, [&input](std::uint64_t address, std::size_t count, std::size_t) {
        input.data.add(address, count);
    });
}

// The scan comes first: a file that is no HEX at all is called that, whatever its length.
std::optional<HexProblem> checkUbl(std::span<const std::uint8_t> ubl, ScannedInput& input) {
    // The scan makes sure the file ends in its end-of-file record with a line end, the bytes
    // that with the line end before them make up the 15 the merge drops of the CR LF form.
    if (auto problem = scan(ubl, input)) {
        return problem;
    }
    return checkLength(ubl, ubl.size() + input.summary.bareLineFeeds, minimumUblLength, "a UBL");
}

std::optional<HexProblem> checkAppShape(const HexFileSummary& summary) {
    if (summary.first.type != hexExtendedLinearAddress) {
        return HexProblem{1,
                          "the first record is of type " + describeType(summary.first.type) +
                              "; an APP file starts with an extended linear address record (:02000004...)"};
    }
    if (summary.lastStartLinearLine == 0) {
        return HexProblem{summary.last.line,
                          "the file has no start linear address record (:04000005...); the merged file "
                          "takes its start address from the APP file, just before the end-of-file record: "
                          "add one, for example with srec_cat's -execution-start-address"};
    }
    if (summary.nextToLast.type != hexStartLinearAddress || summary.nextToLast.line == summary.first.line) {
        return HexProblem{summary.nextToLast.line,
                          "the record before the end-of-file record is of type " +
                              describeType(summary.nextToLast.type) +
                              "; an APP file ends with a start linear address record (:04000005...) "
                              "and the end-of-file record"};
    }
    return std::nullopt;
}

// Whether the APP's first record changes nothing in the merged file: the base in effect at
// the end of the UBL is the one it sets. Under an extended segment address of that base a
// record that runs past the end of a 64 KiB segment would wrap instead, so the record stays.
bool appFirstRecordRedundant(const HexFileSummary& app, const HexFileSummary& ubl) {
    const std::uint32_t appBase = app.first.value << 16;
    return appBase == ubl.baseAtEnd && (!ubl.segmentBase || app.firstBasePastSegment == 0);
}

std::optional<HexProblem> checkApp(std::span<const std::uint8_t> app, ScannedInput& input) {
    if (auto problem = scan(app, input)) {
        return problem;
    }
    if (auto problem =
            checkLength(app, app.size() + input.summary.bareLineFeeds, minimumAppLength, "an APP")) {
        return problem;
    }
    return checkAppShape(input.summary);
}

// What is wrong with a clash, naming the UBL as ublName.
std::string clashReason(const MergeInputProblem& problem, std::string_view ublName, TextLanguage language) {
    if (problem.clash == MergeClash::Overlap) {
        return fillText(textOf(IDS_MERGE_OVERLAP, language),
                        {hexAddress(problem.address), ublName, std::to_string(problem.ublLine)});
    }
    return fillText(textOf(IDS_MERGE_FIXED_BYTES, language), {hexAddress(problem.address)});
}

// The reason in English names the UBL as such; the file operation names it by its path.
MergeInputProblem clashProblem(MergeInput input, MergeClash clash, std::uint64_t address,
                               std::span<const std::uint8_t> ubl, std::span<const std::uint8_t> app) {
    MergeInputProblem found{input, {}, clash, address, 0};
    found.problem.line = lineHoldingAddress(input == MergeInput::Ubl ? ubl : app, address);
    if (clash == MergeClash::Overlap) {
        found.ublLine = lineHoldingAddress(ubl, address);
    }
    found.problem.what = clashReason(found, "the UBL file", TextLanguage::English);
    return found;
}

// The lowest address filled twice: by both inputs, or by an input and the fixed bytes.
std::optional<MergeInputProblem> findClash(ScannedInput& ubl, ScannedInput& app,
                                           std::span<const std::uint8_t> ublBytes,
                                           std::span<const std::uint8_t> appBytes) {
    ubl.data.settle();
    app.data.settle();
    const AddressRange fixedBytes{markerAddress, markerAddress + markerLength};
    struct Candidate {
        std::optional<std::uint64_t> address;
        MergeInput input;
        MergeClash clash;
    };
    const Candidate candidates[] = {
        {ubl.data.firstAddressIn(fixedBytes), MergeInput::Ubl, MergeClash::FixedBytes},
        {app.data.firstAddressIn(fixedBytes), MergeInput::App, MergeClash::FixedBytes},
        {ubl.data.firstCommonAddress(app.data), MergeInput::App, MergeClash::Overlap},
    };
    const Candidate* first = nullptr;
    for (const Candidate& candidate : candidates) {
        if (candidate.address && (first == nullptr || *candidate.address < *first->address)) {
            first = &candidate;
        }
    }
    if (first == nullptr) {
        return std::nullopt;
    }
    return clashProblem(first->input, first->clash, *first->address, ublBytes, appBytes);
}

// The CR LF form of a file whose lines may end in LF alone.
std::vector<std::uint8_t> withCrLf(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    // A record takes at least 11 characters before its line end.
    out.reserve(bytes.size() + bytes.size() / 12 + 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(bytes[i]);
    }
    return out;
}

// Moves the UBL's records but its start address records and its end-of-file record (the last
// 13 bytes) together at its start; answers their length. The lines are checked and end in
// CR LF, so the type is the pair of digits at columns 8 and 9.
std::size_t keepUblRecords(std::uint8_t* ubl, std::size_t length) {
    const std::size_t end = length - endOfFileLineLength;
    std::size_t kept = 0;
    for (std::size_t at = 0; at < end;) {
        const auto* lineFeed = static_cast<const std::uint8_t*>(std::memchr(ubl + at, '\n', end - at));
        const auto next = static_cast<std::size_t>(lineFeed - ubl) + 1;
        const bool startAddress = ubl[at + 7] == '0' && (ubl[at + 8] == '3' || ubl[at + 8] == '5');
        if (!startAddress) {
            if (kept != at) {
                std::memmove(ubl + kept, ubl + at, next - at);
            }
            kept += next - at;
        }
        at = next;
    }
    return kept;
}

} // namespace

std::string mergeProblemText(const MergeInputProblem& problem, std::string_view ublPath,
                             std::string_view appPath, TextLanguage language) {
    const std::string_view path = problem.input == MergeInput::Ubl ? ublPath : appPath;
    const std::string what =
        problem.clash == MergeClash::None ? problem.problem.what : clashReason(problem, ublPath, language);
    return fillText(textOf(IDS_HEX_INVALID, language), {path, std::to_string(problem.problem.line), what});
}

MergeCheck checkMergeBuffers(std::span<const std::uint8_t> ubl, std::span<const std::uint8_t> app) {
    MergeCheck check;
    ScannedInput ublInput;
    ScannedInput appInput;
    if (auto ublProblem = checkUbl(ubl, ublInput)) {
        check.problem = MergeInputProblem{MergeInput::Ubl, std::move(*ublProblem)};
    } else if (auto appProblem = checkApp(app, appInput)) {
        check.problem = MergeInputProblem{MergeInput::App, std::move(*appProblem)};
    } else {
        check.problem = findClash(ublInput, appInput, ubl, app);
        check.keepAppFirstRecord = !appFirstRecordRedundant(appInput.summary, ublInput.summary);
    }
    check.crlfOnly = ublInput.summary.bareLineFeeds == 0 && appInput.summary.bareLineFeeds == 0;
    return check;
}

std::optional<MergeInputProblem> checkMergeInputs(std::span<const std::uint8_t> ubl,
                                                  std::span<const std::uint8_t> app) {
    return checkMergeBuffers(ubl, app).problem;
}

std::size_t spliceMergeInPlace(std::span<std::uint8_t> buffer, std::size_t ublLength, std::size_t appLength,
                               bool keepAppFirstRecord) {
    std::uint8_t* const out = buffer.data();
    const std::size_t bodyStart = keepUblRecords(out, ublLength);
    // The first record is 15 characters and its CR LF.
    const std::size_t appFrom = keepAppFirstRecord ? 0 : appHeadCut + 2;
    const std::size_t bodyLength = appLength - appFrom - appTailKept;
    // Leftwards, and ending before the APP's last 34 bytes, which it therefore leaves intact.
    std::memmove(out + bodyStart, out + ublLength + appFrom, bodyLength);
    const std::size_t markersStart = bodyStart + bodyLength;
    const std::size_t tailStart = markersStart + MarkerAddressRecord.size() + MarkerDataRecord.size();
    std::memmove(out + tailStart, out + ublLength + appLength - appTailKept, appTailKept);
    std::memcpy(out + markersStart, MarkerAddressRecord.data(), MarkerAddressRecord.size());
    std::memcpy(out + markersStart + MarkerAddressRecord.size(), MarkerDataRecord.data(),
                MarkerDataRecord.size());
    return tailStart + appTailKept;
}

HexMergeResult mergeHexImages(std::span<const std::uint8_t> ubl, std::span<const std::uint8_t> app) {
    HexMergeResult result;
    const MergeCheck check = checkMergeBuffers(ubl, app);
    if (check.problem) {
        result.problem = check.problem;
        return result;
    }
    std::vector<std::uint8_t> ublCrLf;
    std::vector<std::uint8_t> appCrLf;
    if (!check.crlfOnly) {
        ublCrLf = withCrLf(ubl);
        appCrLf = withCrLf(app);
        ubl = ublCrLf;
        app = appCrLf;
    }
    result.bytes.resize(ubl.size() + app.size() + mergeBufferSpare);
    std::memcpy(result.bytes.data(), ubl.data(), ubl.size());
    std::memcpy(result.bytes.data() + ubl.size(), app.data(), app.size());
    result.bytes.resize(spliceMergeInPlace(result.bytes, ubl.size(), app.size(), check.keepAppFirstRecord));
    return result;
}

std::string mergedFileNameOf(std::string_view appPath) {
    return FileNameOfPath(appPath, false) + std::string(mergedNameSuffix);
}

std::string mergedPathOf(std::string_view appPath) {
    return folderOf(appPath) + mergedFileNameOf(appPath);
}

} // namespace orvane
