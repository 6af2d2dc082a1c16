// What the dialog's context menu offers, top to bottom: the same entries for every window,
// which only builds its menu from them and sends each chosen command back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The "Low-latency replies" check item; no control has this id.
inline constexpr int ID_LOW_LATENCY = 0x0020;

struct MenuEntry {
    enum class Kind : std::uint8_t { Command, Check, Separator };
    Kind kind = Kind::Separator;
    int command = 0;      // what choosing it sends; 0 for a separator
    std::string text;     // UTF-8; "&" marks the access key
    bool checked = false; // a check item's mark
    bool operator==(const MenuEntry&) const = default;
};

// A text by string id, as loadText answers on the dialog's thread.
using MenuText = std::string_view (*)(int id);

// The packaging commands, a separator, the low-latency check item marked as lowLatency says,
// and, unless the about text is empty, a separator and the about item.
std::vector<MenuEntry> contextMenuEntries(bool lowLatency, MenuText text);

} // namespace orvane
