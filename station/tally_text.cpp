#include "station/tally_text.h"

#include <cstdio>

namespace orvane {

std::string yieldText(const Tally& tally) {
    const auto yield = tally.yield();
    if (!yield) {
        return "\u2013";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", *yield * 100.0);
    return text;
}

JsonFields yieldJson(const Tally& tally) {
    const auto yield = tally.yield();
    return yield ? oneDecimal(*yield * 100.0) : JsonFields(nullptr);
}

} // namespace orvane
