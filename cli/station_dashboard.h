// The station's dashboard on the command line: --http, --token, --token-new, --control,
// --max-clients and HTTPS's --tls-cert and --tls-key,
// and the server's life beside the station's. Where the program has no page it says so.
#pragma once

#include "attempts/records_book.h"
#include "output/console.h"
#include "station/station_state.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

struct DashboardChoice {
    std::string http;      // [ADDRESS:]PORT; empty: no dashboard
    std::string tokenFile; // --token
    std::string tokenNew;  // --token-new: write one and stop there
    bool control = false;
    std::size_t maxClients = 512; // connections to the page at once
    std::string tlsCertificate;   // --tls-cert: HTTPS with --tls-key
    std::string tlsKey;
};

void addDashboardOptions(CLI::App& command, DashboardChoice& choice);

class StationDashboard {
  public:
    StationDashboard();
    ~StationDashboard();
    StationDashboard(const StationDashboard&) = delete;
    StationDashboard& operator=(const StationDashboard&) = delete;

    // --token-new, the whole run when given: answers its exit status.
    static std::optional<int> makeTokenIfAsked(const DashboardChoice& choice, Console& console);
    // The options checked before anything starts: answers 2 when they do not go together
    // (another address without a token, --control without one, a page this build lacks).
    std::optional<int> check(const DashboardChoice& choice, Console& console);
    // Serves state's page once the checks passed; answers the exit status when it cannot.
    std::optional<int> start(StationState& state, const RecordsChoice& records, Console& console);
    // Ends the serving while the station's state is still there; the destructor does it too.
    void stop();
    // The page asked the station to stop (--control).
    bool stopAsked() const { return stopAsked_; }
    // The page paused the slot (--control): no attempt begins on it.
    bool held(const std::string& slot) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::atomic<bool> stopAsked_{false};
};

} // namespace orvane
