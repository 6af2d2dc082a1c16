// A build without the dashboard's HTTP library (the Windows one): the options are there, so
// a script gets a plain answer instead of an unknown option.
#include "cli/exit_codes.h"
#include "cli/station_dashboard.h"

namespace orvane {

struct StationDashboard::Impl {};

void addDashboardOptions(CLI::App& command, DashboardChoice& choice) {
    command.add_option("--http", choice.http, "Serve the station's page (not in this build)");
    command.add_option("--token", choice.tokenFile, "Token file for the page (not in this build)");
    command.add_option("--token-new", choice.tokenNew, "Write a new token (not in this build)");
    command.add_flag("--control", choice.control, "Control from the page (not in this build)");
}

StationDashboard::StationDashboard() = default;
StationDashboard::~StationDashboard() = default;
void StationDashboard::stop() {}

std::optional<int> StationDashboard::makeTokenIfAsked(const DashboardChoice& choice, Console& console) {
    if (choice.tokenNew.empty()) {
        return std::nullopt;
    }
    return console.result({exitUsage, "station: this build has no page, so no token for it"});
}

std::optional<int> StationDashboard::check(const DashboardChoice& choice, Console& console) {
    if (choice.http.empty() && !choice.control) {
        return std::nullopt;
    }
    return console.result({exitUsage, "station: this build has no page: --http is not available here"});
}

bool StationDashboard::held(const std::string&) const {
    return false;
}

std::optional<int> StationDashboard::start(StationState&, const RecordsChoice&, Console&) {
    return std::nullopt;
}

} // namespace orvane
