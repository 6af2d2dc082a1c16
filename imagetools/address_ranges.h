// The addresses a HEX file's data fills, as ranges, so that data two files (or a file and the
// merge's fixed bytes) would put at one address is found before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

struct AddressRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0; // one past the last address
};

class AddressRanges {
  public:
    // Adds [address, address + count). A range that begins where the last one ends extends
    // it, as consecutive records do, so even a 16 MiB file gives only a few ranges.
    void add(std::uint64_t address, std::size_t count);
    // Sorts the ranges and joins those that meet or overlap; once, before the queries.
    void settle();
    // The lowest address both hold, or nothing.
    std::optional<std::uint64_t> firstCommonAddress(const AddressRanges& other) const;
    // The lowest address of range held here, or nothing.
    std::optional<std::uint64_t> firstAddressIn(AddressRange range) const;

  private:
    std::vector<AddressRange> ranges_;
};

// The line of the first data record of a well-formed HEX file that fills address; 0 for none.
std::size_t lineHoldingAddress(std::span<const std::uint8_t> hexFile, std::uint64_t address);

} // namespace orvane
