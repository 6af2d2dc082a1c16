// The Intel HEX record checker. Lines are found with memchr and decoded with a table, so a
// 16 MiB file takes a few tens of milliseconds.
#include "imagetools/hex_records.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace orvane {
namespace {

constexpr std::array<std::int8_t, 256> hexDigitValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i) {
        values[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        values[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(10 + i);
        values[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(10 + i);
    }
    return values;
}();

constexpr std::size_t minimumRecordLength = 11; // ':' count(2) address(4) type(2) checksum(2)

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::string describeCharacter(std::uint8_t c) {
    if (c >= 0x20 && c < 0x7F) {
        return std::string("'") + static_cast<char>(c) + "'";
    }
    return "byte " + hexByte(c);
}

// Data bytes each record type must carry; -1 for any number.
int requiredCount(std::uint8_t type) {
    switch (type) {
    case hexData:
        return -1;
    case hexEndOfFile:
        return 0;
    case hexExtendedSegmentAddress:
    case hexExtendedLinearAddress:
        return 2;
    case hexStartSegmentAddress:
    case hexStartLinearAddress:
        return 4;
    default:
        return -2;
    }
}

// Decodes the digit pairs after the ':', summing the bytes for the checksum and keeping the
// first nine: count, address (2), type, up to four data bytes and, in short records, the
// checksum.
std::optional<HexProblem> decodeDigits(const std::uint8_t* text, std::size_t length, std::size_t line,
                                       std::array<std::uint8_t, 9>& head, unsigned& sum) {
    unsigned high = 0;
    for (std::size_t i = 1; i < length; ++i) {
        const int value = hexDigitValues[text[i]];
        if (value < 0) {
            return HexProblem{line, describeCharacter(text[i]) + " in column " + std::to_string(i + 1) +
                                        " is not a hexadecimal digit"};
        }
        if (i % 2 == 1) {
            high = static_cast<unsigned>(value);
        } else {
            const unsigned byte = (high << 4) | static_cast<unsigned>(value);
            sum += byte;
            const std::size_t index = i / 2 - 1;
            if (index < head.size()) {
                head[index] = static_cast<std::uint8_t>(byte);
            }
        }
    }
    return std::nullopt;
}

std::optional<HexProblem> checkRecord(const std::uint8_t* text, std::size_t length, std::size_t line,
                                      HexRecordInfo& record) {
    if (length == 0) {
        return HexProblem{line, "empty line where a record was expected"};
    }
    if (text[0] != ':') {
        return HexProblem{
            line, (line == 1 ? "this is not an Intel HEX file: it starts with " : "the line starts with ") +
                      describeCharacter(text[0]) + ", not ':'"};
    }
    std::array<std::uint8_t, 9> head{};
    unsigned sum = 0;
    if (auto problem = decodeDigits(text, length, line, head, sum)) {
        return problem;
    }
    if (length < minimumRecordLength) {
        return HexProblem{line, "the record is " + std::to_string(length) + " characters long, at least " +
                                    std::to_string(minimumRecordLength) + " are needed"};
    }
    record.line = line;
    record.count = head[0];
    record.address = static_cast<std::uint16_t>((head[1] << 8) | head[2]);
    record.type = head[3];
    const std::size_t expected = minimumRecordLength + 2u * record.count;
    if (length != expected) {
        return HexProblem{line, "the record is " + std::to_string(length) +
                                    " characters long, its byte count " + hexByte(record.count) + " needs " +
                                    std::to_string(expected)};
    }
    if ((sum & 0xFFu) != 0) {
        const auto given =
            static_cast<unsigned>((hexDigitValues[text[length - 2]] << 4) | hexDigitValues[text[length - 1]]);
        const unsigned needed = (given - sum) & 0xFFu;
        return HexProblem{line, "checksum " + hexByte(given) + " is wrong, the record's bytes need " +
                                    hexByte(needed)};
    }
    const int required = requiredCount(record.type);
    if (required == -2) {
        return HexProblem{line, "unknown record type " + hexByte(record.type)};
    }
    if (required >= 0 && record.count != required) {
        return HexProblem{line, std::string("the ") + hexRecordTypeName(record.type) + " record carries " +
                                    std::to_string(record.count) + " data bytes, " +
                                    std::to_string(required) + " expected"};
    }
    record.value = 0;
    if (record.count <= 4) {
        for (std::size_t i = 0; i < record.count; ++i) {
            record.value = (record.value << 8) | head[4 + i];
        }
    }
    return std::nullopt;
}

// Where the line from position ends: its record's length, where the next line starts, and
// whether it ends in LF alone. Line ends carry nothing, so either kind is taken.
struct LineBounds {
    std::size_t length = 0;
    std::size_t next = 0;
    bool bareLineFeed = false;
};

std::optional<HexProblem> findLine(std::span<const std::uint8_t> bytes, std::size_t position,
                                   std::size_t line, LineBounds& bounds) {
    const std::uint8_t* const data = bytes.data();
    const void* found = std::memchr(data + position, '\n', bytes.size() - position);
    if (found == nullptr) {
        return HexProblem{line, "the last line has no CR LF line end"};
    }
    const auto lineFeed = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
    const bool crlf = lineFeed > position && data[lineFeed - 1] == '\r';
    bounds = {lineFeed - position - (crlf ? 1 : 0), lineFeed + 1, !crlf};
    return std::nullopt;
}

struct ScanState {
    HexFileSummary& summary;
    const HexDataVisitor& onData;
    bool segmentBase = false; // the base in effect came from an extended segment address
    bool ended = false;
};

// A record's bytes run on from base + offset; they wrap within the 64 KiB of a segment base
// and within the 4 GiB of a linear one, so a record across the end is told in two pieces.
void tellData(const ScanState& state, const HexRecordInfo& record, std::size_t line) {
    if (!state.onData || record.count == 0) {
        return;
    }
    const std::uint64_t base = state.summary.baseAtEnd;
    // Where the wrapping span begins, how long it is, and the record's place in it.
    const std::uint64_t origin = state.segmentBase ? base : 0;
    const std::uint64_t span = state.segmentBase ? 0x10000 : std::uint64_t{1} << 32;
    const std::uint64_t start = state.segmentBase ? record.address : base + record.address;
    if (start + record.count > span) {
        const auto first = static_cast<std::size_t>(span - start);
        state.onData(origin + start, first, line);
        state.onData(origin, record.count - first, line);
        return;
    }
    state.onData(origin + start, record.count, line);
}

void noteRecord(ScanState& state, const HexRecordInfo& record, std::size_t line) {
    HexFileSummary& summary = state.summary;
    if (line == 1) {
        summary.first = record;
    }
    summary.nextToLast = line == 1 ? record : summary.last;
    summary.last = record;
    summary.lineCount = line;
    switch (record.type) {
    case hexExtendedLinearAddress:
    case hexExtendedSegmentAddress:
        state.segmentBase = record.type == hexExtendedSegmentAddress;
        summary.baseAtEnd = state.segmentBase ? record.value << 4 : record.value << 16;
        summary.baseLine = line;
        summary.segmentBase = state.segmentBase;
        break;
    case hexEndOfFile:
        state.ended = true;
        break;
    case hexStartLinearAddress:
        summary.lastStartLinearLine = line;
        break;
    case hexData:
        if (summary.baseLine == 1 && summary.firstBasePastSegment == 0 &&
            record.address + record.count > 0x10000) {
            summary.firstBasePastSegment = line;
        }
        tellData(state, record, line);
        break;
    default:
        break;
    }
}

} // namespace

const char* hexRecordTypeName(std::uint8_t type) {
    switch (type) {
    case hexData:
        return "data";
    case hexEndOfFile:
        return "end-of-file";
    case hexExtendedSegmentAddress:
        return "extended segment address";
    case hexStartSegmentAddress:
        return "start segment address";
    case hexExtendedLinearAddress:
        return "extended linear address";
    case hexStartLinearAddress:
        return "start linear address";
    default:
        return "unknown";
    }
}

std::optional<HexProblem> scanHexFile(std::span<const std::uint8_t> bytes, HexFileSummary& summary,
                                      const HexDataVisitor& onData) {
    summary = HexFileSummary{};
    if (bytes.empty()) {
        return HexProblem{1, "the file is empty"};
    }
    ScanState state{summary, onData};
    std::size_t position = 0;
    std::size_t line = 0;
    HexRecordInfo record;
    while (position < bytes.size()) {
        ++line;
        if (state.ended) {
            return HexProblem{line, "a line follows the end-of-file record of line " +
                                        std::to_string(summary.last.line)};
        }
        LineBounds bounds;
        if (auto problem = findLine(bytes, position, line, bounds)) {
            return problem;
        }
        if (auto problem = checkRecord(bytes.data() + position, bounds.length, line, record)) {
            return problem;
        }
        summary.bareLineFeeds += bounds.bareLineFeed ? 1 : 0;
        noteRecord(state, record, line);
        position = bounds.next;
    }
    if (!state.ended) {
        return HexProblem{line, std::string("no end-of-file record: the last record is of type ") +
                                    hexByte(summary.last.type) + " (" + hexRecordTypeName(summary.last.type) +
                                    ")"};
    }
    return std::nullopt;
}

} // namespace orvane
