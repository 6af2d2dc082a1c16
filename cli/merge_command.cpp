// `orvane-cli merge UBL.hex APP.hex`: the boot loader and the application joined into the one
// HEX file a technician flashes, written where the dialog writes it (beside APP.hex).
#include <CLI/CLI.hpp>

#include <memory>

#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "imagetools/hex_merge.h"
#include "text/string_table.h"

namespace orvane {
namespace {

struct MergeOptions {
    MergeRequest request;
    std::string language = "en";
    bool json = false;
};

int runMerge(const MergeOptions& options) {
    const TextLanguage language = languageNamed(options.language);
    Console console(options.json ? OutputMode::Json : OutputMode::Plain);
    MergeRequest request = options.request;
    request.language = language;
    const MergeOutcome outcome = MergeHexFiles(request);
    if (!outcome.written) {
        console.error(outcome.error);
        console.event(JsonObject().add("event", "result").add("ok", false).add("exitCode", exitFailed).add(
            "error", outcome.error));
        return exitFailed;
    }
    if (console.json()) {
        console.event(
            JsonObject().add("event", "result").add("ok", true).add("exitCode", exitSuccess).add("path", outcome.outputPath));
    } else {
        console.line(fillText(textOf(IDS_MERGE_WRITTEN, language), {outcome.outputPath}));
    }
    return exitSuccess;
}

} // namespace

void addMergeCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<MergeOptions>();
    CLI::App* command = app.add_subcommand("merge", "Merge a boot loader HEX file and an application HEX file");
    command->add_option("UBL", options->request.ublPath, "Boot loader Intel HEX file")->required();
    command->add_option("APP", options->request.appPath, "Application Intel HEX file")->required();
    command->add_option("--output,-o", options->request.outputPath,
                        "Merged file (default: beside APP, named after it with \"all.hex\")");
    addLanguageOption(*command, options->language);
    command->add_flag("--json", options->json, "One JSON object per event on standard output");
    command->callback([options, &status] { status = runMerge(*options); });
}

} // namespace orvane
