#include "cli/json.h"

#include <cmath>
#include <cstdio>

namespace orvane {

std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x",
                              static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void JsonObject::key(std::string_view name) {
    if (body_.size() > 1) {
        body_ += ',';
    }
    body_ += jsonQuoted(name);
    body_ += ':';
}

JsonObject& JsonObject::add(std::string_view name, std::string_view value) {
    key(name);
    body_ += jsonQuoted(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, std::int64_t value) {
    key(name);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, const JsonObject& value) {
    key(name);
    body_ += value.str();
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, std::span<const JsonObject> values) {
    key(name);
    body_ += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        body_ += i == 0 ? "" : ",";
        body_ += values[i].str();
    }
    body_ += ']';
    return *this;
}

JsonObject& JsonObject::addNull(std::string_view name) {
    key(name);
    body_ += "null";
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, bool value) {
    key(name);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::add(std::string_view name, double value) {
    key(name);
    if (!std::isfinite(value)) {
        body_ += "null";
        return *this;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    body_ += text;
    return *this;
}

} // namespace orvane
