#include "output/csv_row.h"

namespace orvane {

std::string csvField(std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(field);
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

std::string csvRow(std::span<const std::string> fields) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        row += (i == 0 ? "" : ",") + csvField(fields[i]);
    }
    return row + "\r\n";
}

} // namespace orvane
