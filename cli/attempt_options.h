// The options that say where an upgrade's attempts are kept (--records, --records-required,
// --station-name, --operator), shared by `upgrade` and `demo`, and the opening of that place.
#pragma once

#include "attempts/records_book.h"
#include "output/console.h"
#include "text/text_language.h"

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace orvane {

// place describes what --records takes for this command.
void addAttemptOptions(CLI::App& command, RecordsChoice& choice, const std::string& place);

// Opens the place chosen into opened. Answers the exit status when the run must not go on:
// 2 for a place this system cannot write, 3 when records are required and cannot be kept.
// A place that cannot be opened otherwise is said once and the run goes on without records.
std::optional<int> openAttemptRecords(const RecordsChoice& choice, Console& console, TextLanguage language,
                                      OpenedBook& opened);

} // namespace orvane
