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
    // Decode the digit pairs, summing the bytes for the checksum and keeping the first nine:
    // count, address (2), type, up to four data bytes and, in short records, the checksum.
    std::array<std::uint8_t, 9> head{};
    unsigned sum = 0;
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

std::optional<HexProblem> scanHexFile(std::span<const std::uint8_t> bytes, HexFileSummary& summary) {
    summary = HexFileSummary{};
    const std::uint8_t* const data = bytes.data();
    const std::size_t size = bytes.size();
    if (size == 0) {
        return HexProblem{1, "the file is empty"};
    }
    std::size_t position = 0;
    std::size_t line = 0;
    bool ended = false;
    HexRecordInfo record;
    while (position < size) {
        ++line;
        if (ended) {
            return HexProblem{line, "a line follows the end-of-file record of line " +
                                        std::to_string(summary.last.line)};
        }
        const void* found = std::memchr(data + position, '\n', size - position);
        if (found == nullptr) {
            return HexProblem{line, "the last line has no CR LF line end"};
        }
        const std::size_t lineFeed = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
        if (lineFeed == position || data[lineFeed - 1] != '\r') {
            // A line that is no record at all says more than its line end does.
            if (lineFeed != position && data[position] != ':') {
                return HexProblem{line, line == 1 ? "this is not an Intel HEX file: it starts with " +
                                                        describeCharacter(data[position]) + ", not ':'"
                                                  : "the line starts with " +
                                                        describeCharacter(data[position]) + ", not ':'"};
            }
            return HexProblem{line, "the line ends in LF without CR; CR LF line ends are needed"};
        }
        if (auto problem = checkRecord(data + position, lineFeed - 1 - position, line, record)) {
            return problem;
        }
        if (line == 1) {
            summary.first = record;
        }
        summary.nextToLast = line == 1 ? record : summary.last;
        summary.last = record;
        if (record.type == hexExtendedLinearAddress) {
            summary.baseAtEnd = record.value << 16;
            summary.baseLine = line;
        } else if (record.type == hexExtendedSegmentAddress) {
            summary.baseAtEnd = record.value << 4;
            summary.baseLine = line;
        } else if (record.type == hexEndOfFile) {
            ended = true;
        }
        summary.lineCount = line;
        position = lineFeed + 1;
    }
    if (!ended) {
        return HexProblem{line, std::string("no end-of-file record: the last record is of type ") +
                                    hexByte(summary.last.type) + " (" + hexRecordTypeName(summary.last.type) +
                                    ")"};
    }
    return std::nullopt;
}

} // namespace orvane
