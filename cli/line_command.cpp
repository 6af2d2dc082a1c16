// `orvane-cli line`: the line's page. Reads every station's row from the line's database,
// woken by LISTEN, and serves the page from the same server a station's page has, until
// Ctrl-C. Linux only, as a line's database is.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "dashboard/access_token.h"
#include "dashboard/records_json.h"
#include "line/line_control.h"
#include "line/line_reader.h"
#include "line/line_server.h"
#include "output/console.h"
#include "records/postgres_store.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace orvane {
namespace {

struct LineOptions {
    std::string records;
    std::string http;
    std::string tokenFile;
    std::string tlsCertificate;
    std::string tlsKey;
    bool control = false;
    unsigned staleAfter = 15;
    std::string dayStarts = "00:00";
    std::string lang; // the browser's when not given
    bool json = false;
};

// The options that must go together, as a station's page has them; answers the refusal.
std::optional<std::string> settingsOf(const LineOptions& o, DashboardSettings& settings) {
    if (!isPostgresUri(o.records)) {
        return "--records takes the line's postgresql://... server";
    }
    const auto address = parseListenAddress(o.http);
    if (!address) {
        return "--http takes [ADDRESS:]PORT, not " + o.http;
    }
    if (o.tokenFile.empty() && (!isLoopbackHost(address->host) || o.control)) {
        return "--http on " + address->host + (o.control ? " with --control" : "") + " needs --token FILE";
    }
    if (o.tlsCertificate.empty() != o.tlsKey.empty()) {
        return "--tls-cert and --tls-key go together";
    }
    settings.address = *address;
    settings.control = o.control;
    settings.tlsCertificate = o.tlsCertificate;
    settings.tlsKey = o.tlsKey;
    if (!o.tokenFile.empty()) {
        std::string error;
        settings.token = readToken(o.tokenFile, error);
        if (!settings.token) {
            return error;
        }
    }
    settings.records = [uri = o.records](const std::string& since, std::size_t limit) {
        return recordsJson(uri, since, limit);
    };
    return std::nullopt;
}

int runLine(const LineOptions& o, Console& console) {
    DashboardSettings settings;
    const auto dayStart = parseDayStart(o.dayStarts);
    if (!dayStart) {
        return console.result({exitUsage, "line: --day-starts takes HH:MM, not " + o.dayStarts});
    }
    if (auto refused = settingsOf(o, settings)) {
        return console.result({exitUsage, "line: " + *refused});
    }
    const InterruptWatch interrupt;
    LineView view({std::chrono::seconds(o.staleAfter), *dayStart, o.lang, o.control});
    LineReader reader(o.records, view);
    std::string error;
    if (!reader.start(error)) {
        return console.result({exitUnusable, "line: " + error});
    }
    auto control = o.control ? std::make_unique<LineControl>(o.records) : nullptr;
    LineServer server(view, settings, control.get());
    if (!server.start(error)) {
        return console.result({exitUnusable, "line: " + error});
    }
    const std::string scheme = settings.tlsCertificate.empty() ? "http" : "https";
    console.note("The line's page: " + scheme + "://" + settings.address.host + ":" +
                 std::to_string(server.port()) + "/");
    while (!interrupt.waitFor(std::chrono::seconds(1))) {
    }
    server.stop();
    reader.stop();
    return console.result(
        {interrupt.exitStatus(), "line: stopped by " + std::string(interrupt.signalName())});
}

} // namespace

void addLineCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<LineOptions>();
    CLI::App* command = app.add_subcommand(
        "line", "Serve the line's page: every station on the line's PostgreSQL server (Linux only)");
    command->add_option("--records", options->records, "The line's server: postgresql://...")->required();
    command->add_option("--http", options->http, "Serve the page on [ADDRESS:]PORT (127.0.0.1 unless given)")
        ->required();
    command->add_option("--token", options->tokenFile,
                        "File whose token every request to the page must carry");
    command->add_option("--tls-cert", options->tlsCertificate,
                        "Serve the page over HTTPS with this PEM certificate");
    command->add_option("--tls-key", options->tlsKey, "The PEM private key for --tls-cert");
    command->add_flag("--control", options->control,
                      "Let the page pause and resume stations (needs --token)");
    command
        ->add_option("--stale-after", options->staleAfter,
                     "Seconds of silence before a station reads not heard from (15)")
        ->check(CLI::Range(1u, 86400u));
    command->add_option("--day-starts", options->dayStarts,
                        "The day's counts start at HH:MM, this host's time (00:00)");
    command
        ->add_option("--lang", options->lang, "The page's first language: en or zh (default: the browser's)")
        ->check(CLI::IsMember({"en", "zh"}));
    command->add_flag("--json", options->json, "Say what happens as JSON lines");
    command->callback([options, &status] {
        Console console(options->json ? OutputMode::Json : OutputMode::Plain);
        status = console.finish(runLine(*options, console));
    });
}

} // namespace orvane
