// The JSON lines the tests get: kept, a file per test, for the check of every one against
// docs/cli-events.schema.json that runs after them (check_events.py); and made comparable as a
// whole by dropping what changes from run to run.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace orvane::test {

// Adds the lines of out to the current test's file; a test's first call empties it.
void keepEvents(std::string_view out);

// The event on line without "time" and the fields named: compact JSON, fields in their order.
std::string stableEvent(const std::string& line, std::initializer_list<const char*> alsoWithout = {});

} // namespace orvane::test
