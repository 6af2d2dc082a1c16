#include "cli/attempt_options.h"

#include "cli/exit_codes.h"
#include "cli/upgrade_session.h"
#include "text/string_table.h"
#include "text/text_ids.h"

namespace orvane {

void addAttemptOptions(CLI::App& command, RecordsChoice& choice, const std::string& place) {
    command.add_option("--records", choice.place, place);
    command.add_flag("--records-required", choice.required,
                     "Upgrade no camera whose record cannot be kept (exit 3)");
    command.add_option("--station-name", choice.station,
                       "The station named in the records (default: the host name)");
    command.add_option("--operator", choice.operatorName,
                       "Who upgrades, named in the records (default: the login name)");
    choice.toolVersion = ORVANE_VERSION;
}

std::optional<int> openAttemptRecords(const RecordsChoice& choice, Console& console, TextLanguage language,
                                      OpenedBook& opened) {
    opened = openRecordsBook(choice);
    if (opened.unsupportedHere) {
        // Not the place itself: a server's URI may hold its password.
        return console.result({exitUsage, "--records: " + opened.refusal});
    }
    if (opened.refusal.empty()) {
        return std::nullopt;
    }
    if (choice.required) {
        return console.result({.exitCode = exitUnusable,
                               .text = fillText(textOf(IDS_RECORDS_REQUIRED, language), {opened.refusal})});
    }
    sayRecordTrouble(console, language, {opened.refusal, false});
    return std::nullopt;
}

} // namespace orvane
