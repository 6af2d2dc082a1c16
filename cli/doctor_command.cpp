// `orvane-cli doctor [PORT...]`: the pre-flight check a technician runs when an upgrade does
// not start: one line a finding, each saying what to do. Status 1 when a finding stops an
// upgrade; warnings alone leave it 0.
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "doctor/doctor.h"
#include "output/console.h"
#include "text/string_table.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>

namespace orvane {
namespace {

struct DoctorOptions {
    std::vector<std::string> ports;
    DoctorSetup setup;
    std::string language = "en";
    bool json = false;
};

int labelOf(Severity severity) {
    switch (severity) {
    case Severity::Info:
        return IDS_DOCTOR_INFO;
    case Severity::Warning:
        return IDS_DOCTOR_WARNING;
    case Severity::Blocker:
        break;
    }
    return IDS_DOCTOR_BLOCKER;
}

int runDoctor(DoctorOptions& options, Console& console) {
    options.setup.language = languageNamed(options.language);
    const TextLanguage language = options.setup.language;
    const Findings findings = examinePorts(options.ports, options.setup);
    for (const Finding& finding : findings) {
        JsonFields fields{
            {"severity", severityName(finding.severity)}, {"code", finding.code}, {"text", finding.text}};
        console.event("finding", fields, PortTag{finding.port});
        if (!console.json()) {
            console.line(std::string(textOf(labelOf(finding.severity), language)) + finding.text);
        }
    }
    const auto count = [&](Severity severity) {
        return std::to_string(std::count_if(findings.begin(), findings.end(),
                                            [&](const Finding& f) { return f.severity == severity; }));
    };
    if (anyBlocker(findings)) {
        return console.result(
            {exitFailed, fillText(textOf(IDS_DOCTOR_BLOCKED, language), {count(Severity::Blocker)})});
    }
    return console.result(
        {exitSuccess, fillText(textOf(IDS_DOCTOR_CLEAR, language), {count(Severity::Warning)})});
}

} // namespace

void addDoctorCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<DoctorOptions>();
    CLI::App* command = app.add_subcommand(
        "doctor",
        "Check what stands in the way of an upgrade: access, busy ports, ModemManager, brltty, speeds");
    command->add_option("PORT", options->ports, "Ports to check (default: every serial port found)");
    addUpgradeSpeedOption(*command, options->setup.upgradeSpeed);
    addLanguageOption(*command, options->language);
    command->add_flag("--json", options->json, "One JSON object per finding on standard output");
    command->callback([options, &status] {
        Console console(options->json ? OutputMode::Json : OutputMode::Plain);
        status = console.finish(runDoctor(*options, console));
    });
}

} // namespace orvane
