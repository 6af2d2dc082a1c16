// `orvane-cli merge UBL.hex APP.hex`: the boot loader and the application joined into the one
// HEX file a technician flashes, written where the dialog writes it (beside APP.hex).
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "imagetools/hex_merge.h"
#include "text/string_table.h"

#include <CLI/CLI.hpp>
#include <memory>

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
        // A file that could not be opened or read is unusable (3); one read and refused is 1.
        return console.result({outcome.inputUnusable ? exitUnusable : exitFailed, outcome.error});
    }
    return console.result({.exitCode = exitSuccess,
                           .text = fillText(textOf(IDS_MERGE_WRITTEN, language), {outcome.outputPath}),
                           .details = {{"path", outcome.outputPath}}});
}

} // namespace

void addMergeCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<MergeOptions>();
    CLI::App* command =
        app.add_subcommand("merge", "Merge a boot loader HEX file and an application HEX file");
    command->footer(
        "Both inputs are Intel HEX text files, one record a line, lines ending in CR LF or LF alone\n"
        "(the merged file has CR LF throughout), each line starting with ':' and the last one the\n"
        "end-of-file record :00000001FF. The application file starts with an extended linear\n"
        "address record (:02000004...) and ends with a start linear address record\n"
        "(:04000005...) followed by the end-of-file record; its start address is the merged\n"
        "file's, and the boot loader's start address records are left out. Anything else is\n"
        "refused with the file and line, and nothing is written.\n"
        "Fixed bytes: just before the application's last two records the merge adds\n"
        ":020000040803EF and :04CFFC00000600A586, which put 00 06 00 A5 at 0x0803CFFC to\n"
        "0x0803CFFF. Data of the two inputs at one address, or at those four, is refused with the\n"
        "first such address; so are one file given as both inputs and an output that is an input.\n"
        "Exit status: 0 written, 1 an input was read and refused or the output not written,\n"
        "3 an input could not be opened or read.");
    command->add_option("UBL", options->request.ublPath, "Boot loader Intel HEX file")->required();
    command->add_option("APP", options->request.appPath, "Application Intel HEX file")->required();
    command->add_option("--output,-o", options->request.outputPath,
                        "Merged file (default: beside APP, named after it with \"all.hex\")");
    addLanguageOption(*command, options->language);
    command->add_flag("--json", options->json, "One JSON object per event on standard output");
    command->callback([options, &status] { status = runMerge(*options); });
}

} // namespace orvane
