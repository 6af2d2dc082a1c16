#include "output/yield_text.h"

#include <cstdio>

namespace orvane {

std::string yieldText(std::optional<double> share) {
    if (!share) {
        return "\u2013";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", *share * 100.0);
    return text;
}

JsonFields yieldPercentJson(std::optional<double> share) {
    return share ? oneDecimal(*share * 100.0) : JsonFields(nullptr);
}

} // namespace orvane
