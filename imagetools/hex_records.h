// Checks that a buffer is an Intel HEX file whose every line is one well-formed record ending
// in CR LF or LF alone, and gathers what the merge needs to know about its shape and where its
// data lies. One pass, no allocation unless something is wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace orvane {

enum HexRecordType : std::uint8_t {
    hexData = 0x00,
    hexEndOfFile = 0x01,
    hexExtendedSegmentAddress = 0x02,
    hexStartSegmentAddress = 0x03,
    hexExtendedLinearAddress = 0x04,
    hexStartLinearAddress = 0x05,
};

// What is wrong and on which line (1-based).
struct HexProblem {
    std::size_t line = 0;
    std::string what;
};

struct HexRecordInfo {
    std::size_t line = 0;
    std::uint8_t count = 0; // data bytes
    std::uint16_t address = 0;
    std::uint8_t type = 0;
    std::uint32_t value = 0; // the data read as one big-endian number (records of 4 data bytes or fewer)
};

struct HexFileSummary {
    std::size_t lineCount = 0;
    HexRecordInfo first;
    HexRecordInfo nextToLast; // equals first in a one-record file
    HexRecordInfo last;
    // The address base in effect after the last record: an extended linear address record
    // sets value << 16, an extended segment address record value << 4; 0 before either.
    std::uint32_t baseAtEnd = 0;
    std::size_t baseLine = 0; // the line that set baseAtEnd, 0 for none
    bool segmentBase = false; // baseAtEnd came from an extended segment address record
    // The first data record under the base of line 1 that runs past the end of a 64 KiB
    // segment (0 for none): read under a segment base instead, it would wrap.
    std::size_t firstBasePastSegment = 0;
    std::size_t lastStartLinearLine = 0; // the last start linear address record, 0 for none
    std::size_t bareLineFeeds = 0;       // lines that end in LF without CR
};

// Told of each data record's bytes: count of them from the absolute address on, on line.
// Under an extended segment address the offset wraps within 64 KiB, under a linear one the
// address within 4 GiB, so a record that runs past the end is told as two pieces.
using HexDataVisitor = std::function<void(std::uint64_t address, std::size_t count, std::size_t line)>;

// Answers nothing when every line is a record with a CR LF or LF line end, hexadecimal
// digits, a length that matches its byte count, a correct checksum and a known type with the
// data size the type has, and the file ends in its one end-of-file record. summary is filled
// as far as the scan got; onData, when given, is told of every data record.
std::optional<HexProblem> scanHexFile(std::span<const std::uint8_t> bytes, HexFileSummary& summary,
                                      const HexDataVisitor& onData = {});

// "extended linear address" and so on, for messages.
const char* hexRecordTypeName(std::uint8_t type);

} // namespace orvane
