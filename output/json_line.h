// The one way the command line writes JSON: one object per line, valid JSON and valid UTF-8
// whatever bytes it is given (a Latin-1 file name, a port name with a stray byte), so a
// script reads every line with any JSON parser.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace orvane {

// Fields keep the order they are added in: "event" and "time" first, where a reader looks.
using JsonFields = nlohmann::ordered_json;

// fields on one line without line end. Bytes that are not UTF-8 become U+FFFD; control
// characters and DEL are escaped, so no line is broken or hidden by what it carries.
std::string jsonLine(const JsonFields& fields);

// value rounded to one decimal (seconds, bytes per second); null when it is not finite.
JsonFields oneDecimal(double value);

// "2026-12-09T02:41:08.123Z": UTC, milliseconds cut (not rounded) so a time never runs ahead.
std::string utcTimestamp(std::chrono::system_clock::time_point time);

// An event as docs/cli-events.schema.json has it, wherever it is read (standard output, the
// station's page): "event", "time" (now), "port" when there is one, then fields.
JsonFields eventFields(std::string_view kind, const JsonFields& fields, std::string_view port);

} // namespace orvane
