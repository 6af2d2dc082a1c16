// What the port box shows as the system's ports are listed: the same decision for every
// window, which only puts the answer into its combo box.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct PortListEntry {
    std::string name;        // what the box takes when it is chosen, and what the job opens
    std::string description; // shown beside the name in the list; may be empty
    bool operator==(const PortListEntry&) const = default;
};

// The box as it is to be shown.
struct PortBox {
    std::vector<PortListEntry> entries;
    int selected = -1; // the entry chosen, or -1: none, the edit field shows text
    std::string text;  // the edit field
    bool operator==(const PortBox&) const = default;
};

// The box filled from the system's list at start: the first port chosen, if there is one.
PortBox listedPortBox(std::vector<PortListEntry> listed);

// The box after the ports were gathered again while it showed `shown` with `boxText` in its
// edit field. nullopt when the list is unchanged, so the user's typing and cursor stay
// alone. Otherwise the gathered entries, with the text kept: the entry of exactly that name
// chosen, or none and the text as it was.
std::optional<PortBox> gatheredPortBox(std::span<const PortListEntry> shown, std::string_view boxText,
                                       std::vector<PortListEntry> gathered);

} // namespace orvane
