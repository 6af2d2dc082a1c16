// `orvane-cli demo` on Windows: the virtual camera it runs lives on a pseudo-terminal, which
// Windows does not have. The options are checked as on Linux, so a script sees the same rules.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "cli/sample_image.h"
#include "upgrade/upgrade_job.h"

namespace orvane {

void addDemoCommand(CLI::App& app, int& status) {
    auto size = std::make_shared<std::size_t>(defaultSampleImageSize);
    auto language = std::make_shared<std::string>("en");
    CLI::App* command =
        app.add_subcommand("demo", "Upgrade a virtual camera with a sample image (Linux only for now)");
    command->add_option("--size", *size, "Size of the sample image in bytes")
        ->check(CLI::Range(std::size_t{0}, static_cast<std::size_t>(maxImageLength)))
        ->capture_default_str();
    addLanguageOption(*command, *language);
    command->callback([size, language, &status] {
        std::fputs("orvane-cli: the demo's virtual camera needs a pseudo-terminal, which Windows does not have: "
                   "run the demo on Linux\n",
                   stderr);
        status = exitUnusable;
    });
}

} // namespace orvane
