// Fuzzes the Intel HEX checker with arbitrary bytes: it must never crash, must accept exactly
// the files an independent reader accepts, and must describe an accepted file's shape (first,
// next-to-last and last record, the address base at its end) as that reader sees it.
#include "fuzz/intel_hex_model.h"
#include "imagetools/hex_records.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "HEX checker property broken: %s\n", what);
        std::abort();
    }
}

bool sameRecord(const orvane::HexRecordInfo& info, const orvane::fuzzing::ModelRecord& record) {
    return info.type == record.type && info.address == record.address && info.count == record.data.size() &&
           (record.data.size() > 4 || info.value == orvane::fuzzing::valueOf(record));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    orvane::HexFileSummary summary;
    const auto problem = orvane::scanHexFile(bytes, summary);
    const auto records = orvane::fuzzing::readHex(bytes);

    check(problem.has_value() != records.has_value(),
          "checker and independent reader disagree on acceptance");
    if (problem) {
        std::size_t lines = 1;
        for (std::uint8_t b : bytes)
            lines += b == '\n' ? 1 : 0;
        check(problem->line >= 1 && problem->line <= lines, "problem names a line the file does not have");
        check(!problem->what.empty(), "problem without a description");
        return 0;
    }
    const auto& r = *records;
    check(summary.lineCount == r.size(), "line count");
    check(sameRecord(summary.first, r.front()), "first record");
    check(sameRecord(summary.last, r.back()), "last record");
    check(sameRecord(summary.nextToLast, r.size() > 1 ? r[r.size() - 2] : r.front()), "next-to-last record");
    check(summary.baseAtEnd == orvane::fuzzing::baseAfter(r), "address base at the end");
    return 0;
}
