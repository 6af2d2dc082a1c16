// The HEX merge: shape checks, the byte splice and the file operation around them.
#include "imagetools/hex_merge.h"

#include "imagetools/file_name.h"
#include "imagetools/readable_file.h"
#include "imagetools/write_whole_file.h"
#include "text/failure_messages.h"
#include "text/string_table.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace orvane {
namespace {

std::string hexAddress(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
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

std::optional<HexProblem> checkLength(std::span<const std::uint8_t> bytes, std::size_t minimum,
                                      const char* role) {
    if (bytes.empty()) {
        return HexProblem{1, "the file is empty"};
    }
    if (bytes.size() < minimum) {
        return HexProblem{lineCountOf(bytes), "the file is " + std::to_string(bytes.size()) +
                                                  " bytes long; " + role + " file needs at least " +
                                                  std::to_string(minimum)};
    }
    return std::nullopt;
}

// The scan comes first: a file that is no HEX at all is called that, whatever its length.
std::optional<HexProblem> checkUbl(std::span<const std::uint8_t> ubl, HexFileSummary& summary) {
    // The scan makes sure the file ends in its end-of-file record with CR LF, the 13 bytes
    // that with the CR LF before them make up the 15 the merge drops.
    if (auto problem = scanHexFile(ubl, summary)) {
        return problem;
    }
    return checkLength(ubl, minimumUblLength, "a UBL");
}

std::optional<HexProblem> checkApp(std::span<const std::uint8_t> app, const HexFileSummary& ublSummary) {
    HexFileSummary summary;
    if (auto problem = scanHexFile(app, summary)) {
        return problem;
    }
    if (auto problem = checkLength(app, minimumAppLength, "an APP")) {
        return problem;
    }
    if (summary.first.type != hexExtendedLinearAddress) {
        return HexProblem{1,
                          "the first record is of type " + describeType(summary.first.type) +
                              "; an APP file starts with an extended linear address record (:02000004...)"};
    }
    if (summary.nextToLast.type != hexStartLinearAddress || summary.nextToLast.line == summary.first.line) {
        return HexProblem{summary.nextToLast.line,
                          "the record before the end-of-file record is of type " +
                              describeType(summary.nextToLast.type) +
                              "; an APP file ends with a start linear address record (:04000005...) "
                              "and the end-of-file record"};
    }
    // The dropped first record set the base of the APP's records up to its next address
    // record; in the merged file the base in effect at the end of the UBL takes its place.
    const std::uint32_t appBase = summary.first.value << 16;
    if (appBase != ublSummary.baseAtEnd) {
        const std::string ublBase =
            hexAddress(ublSummary.baseAtEnd) +
            (ublSummary.baseLine == 0 ? std::string(" (no address record)")
                                      : " (set on its line " + std::to_string(ublSummary.baseLine) + ")");
        return HexProblem{1, "the extended linear address record sets the base address " +
                                 hexAddress(appBase) + ", but the UBL file ends with " + ublBase +
                                 " in effect; the application's records would land at other addresses"};
    }
    return std::nullopt;
}

// buffer holds the UBL (ublLength bytes), the APP right after it and mergedLengthGain spare
// bytes; rearranges it into the merged file in place, so the merge of two large files
// needs no second buffer.
void spliceInPlace(std::span<std::uint8_t> buffer, std::size_t ublLength, std::size_t appLength) {
    std::uint8_t* const out = buffer.data();
    const std::size_t bodyStart = ublLength - ublTailCut;
    const std::size_t bodyLength = appLength - appHeadCut - appTailKept;
    std::memmove(out + bodyStart, out + ublLength + appHeadCut, bodyLength);
    const std::size_t markersStart = bodyStart + bodyLength;
    const std::size_t tailStart = markersStart + MarkerAddressRecord.size() + MarkerDataRecord.size();
    std::memmove(out + tailStart, out + ublLength + appLength - appTailKept, appTailKept);
    std::memcpy(out + markersStart, MarkerAddressRecord.data(), MarkerAddressRecord.size());
    std::memcpy(out + markersStart + MarkerAddressRecord.size(), MarkerDataRecord.data(),
                MarkerDataRecord.size());
}

std::string logLine(std::string line) {
    return line + "\r\n";
}

// Takes the outcome by reference so that an error text built from its fields is complete
// before the outcome is handed back.
MergeOutcome failed(MergeOutcome& outcome, std::string error) {
    outcome.written = false;
    outcome.logText = logLine(error);
    outcome.error = std::move(error);
    return std::move(outcome);
}

// "Please Select File !" in the request's language, then the tag.
MergeOutcome missingPath(MergeOutcome& outcome, TextLanguage language, const char* tag) {
    outcome.missingPath = true;
    return failed(outcome, std::string(textOf(IDS_PLEASE_SELECT_FILE, language)) + tag);
}

} // namespace

std::optional<MergeInputProblem> checkMergeInputs(std::span<const std::uint8_t> ubl,
                                                  std::span<const std::uint8_t> app) {
    HexFileSummary ublSummary;
    if (auto problem = checkUbl(ubl, ublSummary)) {
        return MergeInputProblem{MergeInput::Ubl, std::move(*problem)};
    }
    if (auto problem = checkApp(app, ublSummary)) {
        return MergeInputProblem{MergeInput::App, std::move(*problem)};
    }
    return std::nullopt;
}

HexMergeResult mergeHexImages(std::span<const std::uint8_t> ubl, std::span<const std::uint8_t> app) {
    HexMergeResult result;
    result.problem = checkMergeInputs(ubl, app);
    if (result.problem) {
        return result;
    }
    result.bytes.resize(ubl.size() + app.size() + mergedLengthGain);
    std::memcpy(result.bytes.data(), ubl.data(), ubl.size());
    std::memcpy(result.bytes.data() + ubl.size(), app.data(), app.size());
    spliceInPlace(result.bytes, ubl.size(), app.size());
    return result;
}

std::string mergedFileNameOf(std::string_view appPath) {
    return FileNameOfPath(appPath, false) + std::string(mergedNameSuffix);
}

std::string mergedPathOf(std::string_view appPath) {
    return folderOf(appPath) + mergedFileNameOf(appPath);
}

MergeOutcome MergeHexFiles(const MergeRequest& request) {
    MergeOutcome outcome;
    const TextLanguage language = request.language;
    const auto unreadable = [language, &outcome](const std::string& path, const std::string& reason) {
        outcome.inputUnusable = true;
        return fileUnreadable(path, reason, language);
    };
    if (request.ublPath.empty()) {
        return missingPath(outcome, language, "1");
    }
    FileStatus status;
    auto ublFile = ReadableFile::open(request.ublPath, status);
    if (!ublFile) {
        return failed(outcome, unreadable(request.ublPath, status.reason));
    }
    if (request.appPath.empty()) {
        return missingPath(outcome, language, "2");
    }
    outcome.outputPath = request.outputPath.empty() ? mergedPathOf(request.appPath) : request.outputPath;
    auto appFile = ReadableFile::open(request.appPath, status);
    if (!appFile) {
        return failed(outcome, unreadable(request.appPath, status.reason));
    }

    // One buffer holds both files and becomes the merged file.
    const std::uint64_t limit = std::numeric_limits<std::size_t>::max() / 4;
    if (ublFile->size() > limit || appFile->size() > limit) {
        const std::string& path = ublFile->size() > limit ? request.ublPath : request.appPath;
        return failed(outcome, unreadable(path, "the file is too large"));
    }
    const auto ublLength = static_cast<std::size_t>(ublFile->size());
    const auto appLength = static_cast<std::size_t>(appFile->size());
    // Left uninitialised: the reads fill it whole before anything looks at it.
    std::unique_ptr<std::uint8_t[]> storage;
    try {
        storage = std::make_unique_for_overwrite<std::uint8_t[]>(ublLength + appLength + mergedLengthGain);
    } catch (const std::bad_alloc&) {
        return failed(outcome, unreadable(request.appPath, "not enough memory to hold both files"));
    }
    const std::span<std::uint8_t> buffer(storage.get(), ublLength + appLength + mergedLengthGain);
    const std::span<std::uint8_t> ublBytes = buffer.first(ublLength);
    const std::span<std::uint8_t> appBytes = buffer.subspan(ublLength, appLength);
    if (status = ublFile->readAll(ublBytes); !status.ok) {
        return failed(outcome, unreadable(request.ublPath, status.reason));
    }
    if (status = appFile->readAll(appBytes); !status.ok) {
        return failed(outcome, unreadable(request.appPath, status.reason));
    }
    if (auto problem = checkMergeInputs(ublBytes, appBytes)) {
        const std::string& path = problem->input == MergeInput::Ubl ? request.ublPath : request.appPath;
        return failed(outcome,
                      fillText(textOf(IDS_HEX_INVALID, language),
                               {path, std::to_string(problem->problem.line), problem->problem.what}));
    }
    spliceInPlace(buffer, ublLength, appLength);
    if (status = WriteWholeFile(outcome.outputPath, buffer); !status.ok) {
        return failed(outcome, fileUnwritable(outcome.outputPath, status.reason, language));
    }
    outcome.written = true;
    return outcome;
}

} // namespace orvane
