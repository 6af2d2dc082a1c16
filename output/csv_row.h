// Rows of comma-separated values as RFC 4180 has them, for spreadsheets and scripts: every
// field's bytes as they are, quoted when they hold a comma, a quote, a CR or an LF (quotes
// doubled), and every row ended by CR LF.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace orvane {

std::string csvField(std::string_view field);

// The fields joined by commas, with CR LF.
std::string csvRow(std::span<const std::string> fields);

} // namespace orvane
