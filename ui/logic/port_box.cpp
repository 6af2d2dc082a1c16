// The port box's decisions, over plain lists.
#include "ui/logic/port_box.h"

#include <algorithm>
#include <utility>

namespace orvane {

PortBox listedPortBox(std::vector<PortListEntry> listed) {
    PortBox box;
    if (!listed.empty()) {
        box.selected = 0;
        box.text = listed.front().name;
    }
    box.entries = std::move(listed);
    return box;
}

std::optional<PortBox> gatheredPortBox(std::span<const PortListEntry> shown, std::string_view boxText,
                                       std::vector<PortListEntry> gathered) {
    if (std::ranges::equal(shown, gathered)) {
        return std::nullopt;
    }
    PortBox box;
    box.text = boxText;
    const auto kept = std::ranges::find(gathered, boxText, &PortListEntry::name);
    if (kept != gathered.end()) {
        box.selected = static_cast<int>(kept - gathered.begin());
    }
    box.entries = std::move(gathered);
    return box;
}

} // namespace orvane
