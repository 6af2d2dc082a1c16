// Helpers for the image tool tests.
#include "hex_test_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace orvane::testing_support {

std::string hexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const auto b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    std::string text = ":";
    char pair[3];
    for (const auto b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

std::string extendedLinear(std::uint16_t upper) {
    return hexRecord(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

std::string extendedSegment(std::uint16_t segment) {
    return hexRecord(0x02, 0, {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)});
}

std::string startLinear(std::uint32_t entry) {
    return hexRecord(0x05, 0,
                     {static_cast<std::uint8_t>(entry >> 24), static_cast<std::uint8_t>(entry >> 16),
                      static_cast<std::uint8_t>(entry >> 8), static_cast<std::uint8_t>(entry)});
}

std::vector<std::string> dataRecords(std::uint16_t address, std::size_t count, std::uint8_t seed) {
    std::vector<std::string> records;
    std::uint8_t value = seed;
    for (std::size_t done = 0; done < count;) {
        const std::size_t chunk = std::min<std::size_t>(16, count - done);
        std::vector<std::uint8_t> data;
        for (std::size_t i = 0; i < chunk; ++i) {
            value = static_cast<std::uint8_t>(value * 37 + 11);
            data.push_back(value);
        }
        records.push_back(hexRecord(0x00, static_cast<std::uint16_t>(address + done), data));
        done += chunk;
    }
    return records;
}

std::vector<std::string> linearImage(std::uint32_t start, std::size_t count, std::uint8_t seed) {
    std::vector<std::string> records;
    for (std::size_t done = 0; done < count;) {
        const std::uint32_t address = start + static_cast<std::uint32_t>(done);
        const std::size_t toBoundary = 0x10000 - (address & 0xFFFF);
        const std::size_t chunk = std::min(count - done, toBoundary);
        records.push_back(extendedLinear(static_cast<std::uint16_t>(address >> 16)));
        const auto data = dataRecords(static_cast<std::uint16_t>(address), chunk, seed++);
        records.insert(records.end(), data.begin(), data.end());
        done += chunk;
    }
    return records;
}

std::string crlfJoin(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

ParsedHex parseHex(const std::string& text) {
    ParsedHex parsed;
    std::uint32_t base = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        parsed.records.push_back(line);
        parsed.endOfFileLast = false;
        const auto byteAt = [&line](std::size_t index) {
            return static_cast<std::uint8_t>(std::stoul(line.substr(1 + 2 * index, 2), nullptr, 16));
        };
        const std::uint8_t count = byteAt(0);
        const auto offset = static_cast<std::uint16_t>((byteAt(1) << 8) | byteAt(2));
        const std::uint8_t type = byteAt(3);
        if (type == 0x00) {
            for (std::size_t i = 0; i < count; ++i) {
                parsed.memory[base + offset + static_cast<std::uint32_t>(i)] = byteAt(4 + i);
            }
        } else if (type == 0x01) {
            ++parsed.endOfFileRecords;
            parsed.endOfFileLast = true;
        } else if (type == 0x02) {
            base = static_cast<std::uint32_t>((byteAt(4) << 8) | byteAt(5)) << 4;
        } else if (type == 0x04) {
            base = static_cast<std::uint32_t>((byteAt(4) << 8) | byteAt(5)) << 16;
        }
    }
    return parsed;
}

} // namespace orvane::testing_support
