// One JSON object per line: what `--json` prints for every event, so a script reads the
// tool's progress with any JSON parser instead of scraping text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

// text as a JSON string literal, quotes included. UTF-8 passes through unchanged; quotes,
// backslashes and control characters are escaped.
std::string jsonQuoted(std::string_view text);

// Builds {"key":value,...} in the order the fields are added.
class JsonObject {
  public:
    JsonObject& add(std::string_view key, std::string_view value);
    JsonObject& add(std::string_view key, const char* value) { return add(key, std::string_view(value)); }
    JsonObject& add(std::string_view key, std::int64_t value);
    JsonObject& add(std::string_view key, std::uint32_t value) {
        return add(key, static_cast<std::int64_t>(value));
    }
    JsonObject& add(std::string_view key, int value) { return add(key, static_cast<std::int64_t>(value)); }
    JsonObject& add(std::string_view key, bool value);
    // Rounded to one decimal; non-finite values are written as null.
    JsonObject& add(std::string_view key, double value);
    // An object inside this one.
    JsonObject& add(std::string_view key, const JsonObject& value);
    // An array of objects.
    JsonObject& add(std::string_view key, std::span<const JsonObject> values);
    JsonObject& addNull(std::string_view key);
    std::string str() const { return body_ + "}"; }

  private:
    void key(std::string_view name);
    std::string body_ = "{";
};

} // namespace orvane
