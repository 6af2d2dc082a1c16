#include "cli/station_dashboard.h"

#include "cli/exit_codes.h"
#include "cli/record_fields.h"
#include "cli/record_time.h"
#include "cli/records_reading.h"
#include "dashboard/access_token.h"
#include "dashboard/dashboard_server.h"

namespace orvane {

struct StationDashboard::Impl {
    DashboardSettings settings;
    std::unique_ptr<DashboardServer> server;
    Console* tapped = nullptr;
};

void addDashboardOptions(CLI::App& command, DashboardChoice& choice) {
    command.add_option("--http", choice.http,
                       "Serve the station's page on [ADDRESS:]PORT (127.0.0.1 unless given)");
    command.add_option("--token", choice.tokenFile, "File whose token every request to the page must carry");
    command.add_option("--token-new", choice.tokenNew,
                       "Write a new random token to FILE (mode 0600) and stop");
    command.add_flag("--control", choice.control, "Let the page pause and resume slots and stop the station");
    command
        .add_option("--max-clients", choice.maxClients,
                    "Connections to the page at once (512); one more gets 503 at once")
        ->check(CLI::Range(std::size_t{1}, std::size_t{100000}));
    command.add_option("--tls-cert", choice.tlsCertificate,
                       "Serve the page over HTTPS with this PEM certificate (chain); not on Windows");
    command.add_option("--tls-key", choice.tlsKey, "The PEM private key for --tls-cert");
}

StationDashboard::StationDashboard() : impl_(std::make_unique<Impl>()) {}

bool StationDashboard::held(const std::string& slot) const {
    return impl_->server && impl_->server->held(slot);
}
StationDashboard::~StationDashboard() {
    stop();
}

void StationDashboard::stop() {
    if (impl_->tapped) {
        impl_->tapped->tapEvents({});
        impl_->tapped = nullptr;
    }
    if (impl_->server) {
        impl_->server->stop();
    }
}

std::optional<int> StationDashboard::makeTokenIfAsked(const DashboardChoice& choice, Console& console) {
    if (choice.tokenNew.empty()) {
        return std::nullopt;
    }
    std::string error;
    if (!writeNewToken(choice.tokenNew, error)) {
        return console.result({exitUnusable, "station: " + error});
    }
    return console.result({exitSuccess, "Token written to " + choice.tokenNew});
}

std::optional<int> StationDashboard::check(const DashboardChoice& choice, Console& console) {
    if (choice.http.empty()) {
        if (choice.control) {
            return console.result({exitUsage, "station: --control needs --http"});
        }
        return std::nullopt;
    }
    const auto address = parseListenAddress(choice.http);
    if (!address) {
        return console.result({exitUsage, "station: --http takes [ADDRESS:]PORT, not " + choice.http});
    }
    if (choice.tokenFile.empty() && (!isLoopbackHost(address->host) || choice.control)) {
        return console.result({exitUsage, "station: --http on " + address->host +
                                              (choice.control ? " with --control" : "") +
                                              " needs --token FILE (make one with --token-new FILE)"});
    }
    if (choice.tlsCertificate.empty() != choice.tlsKey.empty()) {
        return console.result({exitUsage, "station: --tls-cert and --tls-key go together"});
    }
    DashboardSettings& settings = impl_->settings;
    settings.address = *address;
    settings.control = choice.control;
    settings.limits.connections = choice.maxClients;
    settings.tlsCertificate = choice.tlsCertificate;
    settings.tlsKey = choice.tlsKey;
    if (!choice.tokenFile.empty()) {
        std::string error;
        settings.token = readToken(choice.tokenFile, error);
        if (!settings.token) {
            return console.result({exitUsage, "station: " + error});
        }
    }
    return std::nullopt;
}

namespace {

std::optional<std::string> recordsJson(const std::string& place, const std::string& since,
                                       std::size_t limit) {
    RecordsQuery query;
    query.place = place;
    query.filter.limit = limit;
    if (!since.empty()) {
        query.filter.sinceMs = parseMoment(since);
        if (!query.filter.sinceMs) {
            return std::nullopt;
        }
    }
    JsonFields list = JsonFields::array();
    if (place != "none") {
        for (const UpgradeRecord& record : readRecords(query).records) {
            list.push_back(recordFields(record));
        }
    }
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::optional<int> StationDashboard::start(StationState& state, const RecordsChoice& records,
                                           Console& console) {
    DashboardSettings& settings = impl_->settings;
    if (settings.address.port == 0) {
        return std::nullopt; // no --http
    }
    settings.records = [place = records.place](const std::string& since, std::size_t limit) {
        return recordsJson(place, since, limit);
    };
    settings.stopStation = [this] { stopAsked_ = true; };
    settings.slotEvents = !console.json();
    impl_->server = std::make_unique<DashboardServer>(state, settings);
    if (console.json()) {
        // With --json the live events are the whole stream, the upgrades' own events too.
        console.tapEvents(
            [server = impl_->server.get()](const std::string& line) { server->publishEvent(line); });
        impl_->tapped = &console;
    }
    std::string error;
    if (!impl_->server->start(error)) {
        return console.result({exitUnusable, "station: " + error});
    }
    const std::string scheme = settings.tlsCertificate.empty() ? "http" : "https";
    console.note("The station's page: " + scheme + "://" + settings.address.host + ":" +
                 std::to_string(impl_->server->port()) + "/");
    return std::nullopt;
}

} // namespace orvane
