// Address ranges of HEX data and the searches for addresses held twice.
#include "imagetools/address_ranges.h"

#include "imagetools/hex_records.h"

#include <algorithm>

namespace orvane {

void AddressRanges::add(std::uint64_t address, std::size_t count) {
    if (!ranges_.empty() && ranges_.back().end == address) {
        ranges_.back().end += count;
        return;
    }
    ranges_.push_back({address, address + count});
}

void AddressRanges::settle() {
    std::sort(ranges_.begin(), ranges_.end(),
              [](const AddressRange& a, const AddressRange& b) { return a.start < b.start; });
    std::vector<AddressRange> joined;
    for (const AddressRange& range : ranges_) {
        if (!joined.empty() && range.start <= joined.back().end) {
            joined.back().end = std::max(joined.back().end, range.end);
        } else {
            joined.push_back(range);
        }
    }
    ranges_ = std::move(joined);
}

std::optional<std::uint64_t> AddressRanges::firstCommonAddress(const AddressRanges& other) const {
    auto mine = ranges_.begin();
    auto theirs = other.ranges_.begin();
    while (mine != ranges_.end() && theirs != other.ranges_.end()) {
        const std::uint64_t start = std::max(mine->start, theirs->start);
        if (start < std::min(mine->end, theirs->end)) {
            return start;
        }
        // The range that ends first can meet nothing further on.
        if (mine->end < theirs->end) {
            ++mine;
        } else {
            ++theirs;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> AddressRanges::firstAddressIn(AddressRange range) const {
    for (const AddressRange& mine : ranges_) {
        const std::uint64_t start = std::max(mine.start, range.start);
        if (start < std::min(mine.end, range.end)) {
            return start;
        }
    }
    return std::nullopt;
}

std::size_t lineHoldingAddress(std::span<const std::uint8_t> hexFile, std::uint64_t address) {
    std::size_t found = 0;
    HexFileSummary summary;
    (void)scanHexFile(hexFile, summary,
                      [&found, address](std::uint64_t start, std::size_t count, std::size_t line) {
                          if (found == 0 && address >= start && address - start < count) {
                              found = line;
                          }
                      });
    return found;
}

} // namespace orvane
