// The HEX merge as a file operation: open and read both inputs, refuse an output that is one
// of them and one file given as both, check, splice and write the merged file safely.
#include "imagetools/file_identity.h"
#include "imagetools/hex_merge.h"
#include "imagetools/readable_file.h"
#include "imagetools/write_whole_file.h"
#include "text/failure_messages.h"
#include "text/string_table.h"

#include <limits>
#include <memory>
#include <new>

namespace orvane {
namespace {

// Takes the outcome by reference so that an error text built from its fields is complete
// before the outcome is handed back.
MergeOutcome failed(MergeOutcome& outcome, std::string error) {
    outcome.written = false;
    outcome.logText = error + "\r\n";
    outcome.error = std::move(error);
    return std::move(outcome);
}

// "Please Select File !" in the request's language, then the tag.
MergeOutcome missingPath(MergeOutcome& outcome, TextLanguage language, const char* tag) {
    outcome.missingPath = true;
    return failed(outcome, std::string(textOf(IDS_PLEASE_SELECT_FILE, language)) + tag);
}

// An output that would replace an input, whatever names reach it.
std::optional<std::string> outputRefusal(const MergeRequest& request, const ReadableFile& ubl,
                                         const ReadableFile& app, const std::string& outputPath) {
    const auto output = fileIdentityOf(outputPath);
    if (output && (*output == ubl.identity() || *output == app.identity())) {
        const std::string& input = *output == ubl.identity() ? request.ublPath : request.appPath;
        return fillText(textOf(IDS_OUTPUT_IS_INPUT, request.language), {outputPath, input});
    }
    return std::nullopt;
}

// Both files in one buffer, the UBL first, with mergeBufferSpare spare bytes behind them, so
// that the merge of two large CR LF files needs no second buffer.
struct InputBuffer {
    std::unique_ptr<std::uint8_t[]> storage;
    std::span<std::uint8_t> whole;
    std::span<std::uint8_t> ubl;
    std::span<std::uint8_t> app;
};

// Reads both files; answers the error line, or nothing.
std::optional<std::string> readInputs(const MergeRequest& request, ReadableFile& ublFile,
                                      ReadableFile& appFile, InputBuffer& buffer, bool& unusable) {
    unusable = true;
    const auto unreadable = [&request](const std::string& path, const std::string& reason) {
        return fileUnreadable(path, reason, request.language);
    };
    const std::uint64_t limit = std::numeric_limits<std::size_t>::max() / 4;
    if (ublFile.size() > limit || appFile.size() > limit) {
        return unreadable(ublFile.size() > limit ? request.ublPath : request.appPath,
                          "the file is too large");
    }
    const auto ublLength = static_cast<std::size_t>(ublFile.size());
    const auto appLength = static_cast<std::size_t>(appFile.size());
    const std::size_t total = ublLength + appLength + mergeBufferSpare;
    try {
        // Left uninitialised: the reads fill it whole before anything looks at it.
        buffer.storage = std::make_unique_for_overwrite<std::uint8_t[]>(total);
    } catch (const std::bad_alloc&) {
        return unreadable(request.appPath, "not enough memory to hold both files");
    }
    buffer.whole = std::span(buffer.storage.get(), total);
    buffer.ubl = buffer.whole.first(ublLength);
    buffer.app = buffer.whole.subspan(ublLength, appLength);
    if (FileStatus status = ublFile.readAll(buffer.ubl); !status.ok) {
        return unreadable(request.ublPath, status.reason);
    }
    if (FileStatus status = appFile.readAll(buffer.app); !status.ok) {
        return unreadable(request.appPath, status.reason);
    }
    unusable = false;
    return std::nullopt;
}

// Checks, splices and writes; answers the error line, or nothing. One file given as both
// inputs is named as such unless it is misshapen, which says more.
std::optional<std::string> mergeAndWrite(const MergeRequest& request, InputBuffer& buffer, bool sameFile,
                                         const std::string& outputPath) {
    const MergeCheck check = checkMergeBuffers(buffer.ubl, buffer.app);
    if (sameFile && !(check.problem && check.problem->clash == MergeClash::None)) {
        return fillText(textOf(IDS_MERGE_SAME_FILE, request.language), {request.ublPath, request.appPath});
    }
    if (check.problem) {
        return mergeProblemText(*check.problem, request.ublPath, request.appPath, request.language);
    }
    FileStatus status;
    if (check.crlfOnly) {
        const std::size_t length =
            spliceMergeInPlace(buffer.whole, buffer.ubl.size(), buffer.app.size(), check.keepAppFirstRecord);
        status = WriteWholeFile(outputPath, buffer.whole.first(length));
    } else {
        // Lines ending in LF alone: the merge of the CR LF forms, built apart.
        status = WriteWholeFile(outputPath, mergeHexImages(buffer.ubl, buffer.app).bytes);
    }
    if (!status.ok) {
        return fileUnwritable(outputPath, status.reason, request.language);
    }
    return std::nullopt;
}

} // namespace

MergeOutcome MergeHexFiles(const MergeRequest& request) {
    MergeOutcome outcome;
    const TextLanguage language = request.language;
    if (request.ublPath.empty()) {
        return missingPath(outcome, language, "1");
    }
    FileStatus status;
    auto ublFile = ReadableFile::open(request.ublPath, status);
    if (!ublFile) {
        outcome.inputUnusable = true;
        return failed(outcome, fileUnreadable(request.ublPath, status.reason, language));
    }
    if (request.appPath.empty()) {
        return missingPath(outcome, language, "2");
    }
    outcome.outputPath = request.outputPath.empty() ? mergedPathOf(request.appPath) : request.outputPath;
    auto appFile = ReadableFile::open(request.appPath, status);
    if (!appFile) {
        outcome.inputUnusable = true;
        return failed(outcome, fileUnreadable(request.appPath, status.reason, language));
    }
    if (auto refusal = outputRefusal(request, *ublFile, *appFile, outcome.outputPath)) {
        return failed(outcome, *refusal);
    }
    InputBuffer buffer;
    if (auto error = readInputs(request, *ublFile, *appFile, buffer, outcome.inputUnusable)) {
        return failed(outcome, *error);
    }
    const bool sameFile = ublFile->identity() == appFile->identity();
    if (auto error = mergeAndWrite(request, buffer, sameFile, outcome.outputPath)) {
        return failed(outcome, *error);
    }
    outcome.written = true;
    return outcome;
}

} // namespace orvane
