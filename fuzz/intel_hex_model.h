// An Intel HEX reader written apart from the product's checker, for the fuzz targets to
// compare against: the same acceptance rules (every line a record with CR LF or LF, a length that
// fits its byte count, a correct checksum, a known type with its data size, one end-of-file
// record at the very end), and the bytes a file puts at which absolute addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvane::fuzzing {

struct ModelRecord {
    std::uint8_t type = 0;
    std::uint16_t address = 0;
    std::vector<std::uint8_t> data;
};

inline int digitValue(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The records of a well-formed file, or nothing.
inline std::optional<std::vector<ModelRecord>> readHex(std::span<const std::uint8_t> bytes) {
    std::vector<ModelRecord> records;
    std::size_t position = 0;
    bool ended = false;
    while (position < bytes.size()) {
        if (ended)
            return std::nullopt; // something after the end-of-file record
        std::size_t end = position;
        while (end < bytes.size() && bytes[end] != '\n')
            ++end;
        if (end == bytes.size())
            return std::nullopt; // no line feed
        const std::size_t textEnd = end > position && bytes[end - 1] == '\r' ? end - 1 : end;
        const std::span<const std::uint8_t> text = bytes.subspan(position, textEnd - position);
        position = end + 1;

        if (text.empty() || text[0] != ':' || text.size() % 2 == 0 || text.size() < 11)
            return std::nullopt;
        std::vector<std::uint8_t> values;
        for (std::size_t i = 1; i < text.size(); i += 2) {
            const int high = digitValue(text[i]);
            const int low = digitValue(text[i + 1]);
            if (high < 0 || low < 0)
                return std::nullopt;
            values.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        const std::size_t count = values[0];
        if (values.size() != count + 5)
            return std::nullopt;
        unsigned sum = 0;
        for (std::uint8_t v : values)
            sum += v;
        if (sum % 256 != 0)
            return std::nullopt;
        ModelRecord record;
        record.address = static_cast<std::uint16_t>(values[1] * 256 + values[2]);
        record.type = values[3];
        record.data.assign(values.begin() + 4, values.end() - 1);
        static constexpr int sizes[] = {-1, 0, 2, 4, 2, 4}; // by type; -1 any
        if (record.type > 5)
            return std::nullopt;
        if (sizes[record.type] >= 0 && static_cast<int>(count) != sizes[record.type])
            return std::nullopt;
        ended = record.type == 0x01;
        records.push_back(std::move(record));
    }
    if (!ended)
        return std::nullopt;
    return records;
}

inline std::uint32_t valueOf(const ModelRecord& record) {
    std::uint32_t value = 0;
    for (std::uint8_t b : record.data)
        value = (value << 8) | b;
    return value;
}

// The address base after the records: extended linear sets value << 16, extended segment
// value << 4; 0 before either.
inline std::uint32_t baseAfter(const std::vector<ModelRecord>& records, std::uint32_t base = 0) {
    for (const ModelRecord& record : records) {
        if (record.type == 0x04)
            base = valueOf(record) << 16;
        if (record.type == 0x02)
            base = valueOf(record) << 4;
    }
    return base;
}

// Whether the base in effect after the records came from an extended segment address.
inline bool segmentBaseAfter(const std::vector<ModelRecord>& records) {
    bool segment = false;
    for (const ModelRecord& record : records) {
        if (record.type == 0x04 || record.type == 0x02)
            segment = record.type == 0x02;
    }
    return segment;
}

// Whether a data record under the first record's base runs past the end of a 64 KiB segment.
inline bool firstBaseRunsPastSegment(const std::vector<ModelRecord>& records) {
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (records[i].type == 0x04 || records[i].type == 0x02)
            return false;
        if (records[i].type == 0x00 && records[i].address + records[i].data.size() > 0x10000)
            return true;
    }
    return false;
}

// Every data byte at its absolute address; a later record wins where two overlap. Under a
// segment base the offset wraps within 64 KiB, under a linear one the address within 4 GiB.
inline std::map<std::uint32_t, std::uint8_t> memoryOf(const std::vector<ModelRecord>& records) {
    std::map<std::uint32_t, std::uint8_t> memory;
    std::uint32_t base = 0;
    bool segment = false;
    for (const ModelRecord& record : records) {
        if (record.type == 0x04 || record.type == 0x02) {
            segment = record.type == 0x02;
            base = valueOf(record) << (segment ? 4 : 16);
        }
        if (record.type != 0x00)
            continue;
        for (std::size_t i = 0; i < record.data.size(); ++i) {
            const std::uint32_t offset = record.address + static_cast<std::uint32_t>(i);
            memory[segment ? base + (offset & 0xFFFF) : base + offset] = record.data[i];
        }
    }
    return memory;
}

// The file with every line end CR LF.
inline std::vector<std::uint8_t> crlfForm(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            out.push_back('\r');
        out.push_back(bytes[i]);
    }
    return out;
}

} // namespace orvane::fuzzing
