// Test helpers for the image tools: Intel HEX records built from their fields, and an
// independent Intel HEX reader for cross-checks.
#pragma once

#include "support/files.h"
#include "support/temp_folder.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace orvane::testing_support {

// The helpers every suite shares.
using test::readFile;
using test::TempFolder;
using test::writeFile;

// One record, ":" to checksum, without line end.
std::string hexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data);
std::string extendedLinear(std::uint16_t upper);
std::string extendedSegment(std::uint16_t segment);
std::string startLinear(std::uint32_t entry);
inline const std::string endOfFile = ":00000001FF";
// Data records of 16 bytes (the last one shorter) for count bytes from address on.
std::vector<std::string> dataRecords(std::uint16_t address, std::size_t count, std::uint8_t seed);

// count bytes from the absolute address start on: an extended linear address record first and
// at every 64 KiB boundary, data records of 16 bytes between them.
std::vector<std::string> linearImage(std::uint32_t start, std::size_t count, std::uint8_t seed);

// The lines joined with CR LF after each.
std::string crlfJoin(const std::vector<std::string>& lines);

struct ParsedHex {
    std::map<std::uint32_t, std::uint8_t> memory;
    int endOfFileRecords = 0;
    bool endOfFileLast = false;
    std::vector<std::string> records; // every line, without line end
};
// Reads Intel HEX text (CR LF or LF), honouring address records of types 02 and 04.
ParsedHex parseHex(const std::string& text);

} // namespace orvane::testing_support
