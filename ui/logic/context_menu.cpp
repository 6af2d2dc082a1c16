// The context menu's entries from the dialog's tables.
#include "ui/logic/context_menu.h"

#include "ui/dialog_template.h"
#include "ui/logic/dialog_lists.h"

namespace orvane {

std::vector<MenuEntry> contextMenuEntries(bool lowLatency, MenuText text) {
    using Kind = MenuEntry::Kind;
    std::vector<MenuEntry> entries;
    for (const MenuCommand& command : packagingCommands) {
        entries.push_back({Kind::Command, command.id, std::string(text(command.label)), false});
    }
    entries.push_back({});
    entries.push_back({Kind::Check, ID_LOW_LATENCY, std::string(text(lowLatencyMenuText)), lowLatency});
    const std::string_view about = text(aboutMenuText);
    if (!about.empty()) {
        entries.push_back({});
        entries.push_back({Kind::Command, IDM_ABOUTBOX, std::string(about), false});
    }
    return entries;
}

} // namespace orvane
