// The station's dashboard over HTTP: the page, the station and its records as JSON, and the
// live events. It only reads the station's state, except for the control requests when they
// are allowed; none of its work runs on a job's thread.
#pragma once

#include "dashboard/http_server.h"
#include "station/station_state.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};

// "[ADDRESS:]PORT": a port alone is on 127.0.0.1; empty when the port is not 1 to 65535.
std::optional<ListenAddress> parseListenAddress(const std::string& text);
bool isLoopbackHost(const std::string& host);

struct DashboardLimits {
    std::size_t connections = 512; // in all; one more gets 503 at once
    std::size_t perAddress = 64;   // from one address: one machine cannot take them all
    // Live event streams, each a connection that stays open: a screen's, on a line of them.
    std::size_t eventClients = 256;
    std::size_t eventQueue = 512; // messages a live client may lag behind before it is dropped
    std::size_t bodyBytes = 4096;
    std::size_t headBytes = 16 * 1024;
    std::size_t headers = 64;
    // The time for a request's whole head, for its body, and for each answer to go out.
    std::chrono::milliseconds ioTimeout{5000};
};

// The server's limits for a page's: the line's page is served within the same.
HttpLimits httpLimits(const DashboardLimits& limits);

struct DashboardSettings {
    ListenAddress address{};
    std::optional<std::string> token{}; // every request must carry it when set
    // HTTPS with these PEM files when both are given.
    std::string tlsCertificate{};
    std::string tlsKey{};
    bool control = false; // POST /api/stop, /api/pause?slot=, /api/resume?slot=
    DashboardLimits limits{};
    // The newest records as a JSON array: since (as the records command reads it, may be
    // empty) and how many at most; empty optional when since is not a moment.
    std::function<std::optional<std::string>(const std::string& since, std::size_t limit)> records{};
    std::function<void()> stopStation{};
    // Whether the live events carry the "slot" events of their own; off when the command
    // line hands on its whole --json stream through publishEvent.
    bool slotEvents = true;
};

// A request refused on its head alone, as every page refuses it: too many fields, no token,
// a path not served (post: none), the wrong method, control that is off (controlOff says how
// to turn it on) or asked from another origin. post: whether the path takes POST.
std::optional<HttpResponse> headRefusal(const HttpRequest& request, const DashboardSettings& settings,
                                        int port, std::optional<bool> post, const std::string& controlOff);

class DashboardServer {
  public:
    // Listens to state at once: before the station runs.
    DashboardServer(StationState& state, DashboardSettings settings);
    ~DashboardServer();
    DashboardServer(const DashboardServer&) = delete;
    DashboardServer& operator=(const DashboardServer&) = delete;

    // Binds and serves on a thread of its own; false with error said when it cannot bind or
    // load the TLS files.
    bool start(std::string& error);
    int port() const;
    void stop();
    // A line of the command line's JSON events to every live connection.
    void publishEvent(const std::string& line);
    // Paused from the page (--control): the station begins no attempt on it.
    bool held(const std::string& slot) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvane
