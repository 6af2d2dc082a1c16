#include "dashboard/dashboard_server.h"

#include "dashboard/bounded_pool.h"
#include "dashboard/dashboard_page.h"
#include "dashboard/event_feed.h"
#include "dashboard/request_checks.h"
#include "dashboard/station_json.h"

#include <atomic>
#include <charconv>
#include <httplib.h>
#include <sys/socket.h>
#include <thread>

namespace orvane {
namespace {

constexpr std::size_t defaultRecords = 50;
constexpr std::size_t mostRecords = 500;
constexpr auto eventWait = std::chrono::milliseconds(500);
constexpr int waitsBeforeKeepAlive = 30; // a comment every 15 s finds a vanished client
// The library listens with a backlog of 5: a wall of screens reconnecting at once after the
// station's restart would have most of their connections dropped and retried seconds later.
constexpr int listenBacklog = 256;

void answerJson(httplib::Response& response, const std::string& body) {
    response.set_header("Cache-Control", "no-store");
    response.set_content(body, "application/json; charset=utf-8");
}

void answerText(httplib::Response& response, int status, const std::string& text) {
    response.status = status;
    response.set_content(text + "\n", "text/plain; charset=utf-8");
}

std::size_t recordLimit(const httplib::Request& request) {
    const std::string text = request.get_param_value("limit");
    std::size_t limit = defaultRecords;
    if (!text.empty()) {
        std::from_chars(text.data(), text.data() + text.size(), limit);
    }
    return std::clamp<std::size_t>(limit, 1, mostRecords);
}

} // namespace

struct DashboardServer::Impl {
    Impl(StationState& watched, DashboardSettings given)
        : state(watched), settings(std::move(given)),
          feed(
              settings.limits.eventClients, settings.limits.eventQueue,
              [this](const std::string& slot) { return held(slot); }, settings.slotEvents) {}

    void setUp();
    void routePage();
    void routeApi();
    void routeEvents(const httplib::Request& request, httplib::Response& response);
    void routeControl();
    bool controlAllowed(const httplib::Request& request, httplib::Response& response) const;
    // The station with what the page may offer: the control buttons.
    DashboardJson pageStation() const {
        DashboardJson json = stationJson(state.snapshot());
        json["control"] = settings.control && static_cast<bool>(settings.stopStation);
        json["pause"] = settings.control;
        for (auto& slot : json["slots"]) {
            slot["paused"] = held(slot["slot"].get<std::string>());
        }
        return json;
    }
    bool held(const std::string& slot) const {
        const std::lock_guard lock(heldMutex);
        return heldSlots.contains(slot);
    }
    bool hold(const std::string& slot, bool pause);

    StationState& state;
    DashboardSettings settings;
    EventFeed feed;
    mutable std::mutex heldMutex;
    std::set<std::string> heldSlots;
    httplib::Server http;
    std::thread thread;
    int port = 0;
    std::atomic<int> listening{-1}; // the listening socket, once made
};

void DashboardServer::Impl::setUp() {
    const DashboardLimits& limits = settings.limits;
    const std::size_t threads = limits.eventClients + limits.otherThreads;
    const std::size_t queued = limits.queuedConnections;
    http.new_task_queue = [threads, queued] { return new BoundedPool(threads, queued); };
    const auto timeout = static_cast<time_t>(limits.ioTimeout.count());
    http.set_read_timeout(timeout, 0);
    http.set_write_timeout(timeout, 0);
    http.set_keep_alive_timeout(timeout);
    http.set_keep_alive_max_count(100);
    // The library writes a response's head and body apart: on a kept-alive connection Nagle's
    // wait meets the client's delayed acknowledgement, and each request took some 40 ms more.
    http.set_tcp_nodelay(true);
    http.set_socket_options([this](int socket) {
        httplib::default_socket_options(socket);
        listening = socket;
    });
    http.set_payload_max_length(limits.bodyBytes);
    http.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        using Result = httplib::Server::HandlerResponse;
        if (request.headers.size() > settings.limits.headers) {
            answerText(response, 431, "too many header fields");
            return Result::Handled;
        }
        return admitted(request, response, settings.token) ? Result::Unhandled : Result::Handled;
    });
    routePage();
    routeApi();
    routeControl();
}

void DashboardServer::Impl::routePage() {
    for (const PageFile& file : pageFiles()) {
        http.Get(std::string(file.path), [&file](const httplib::Request&, httplib::Response& response) {
            // The page's script comes only from here: nothing a port's name carries can run.
            response.set_header("Content-Security-Policy",
                                "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
            response.set_header("X-Content-Type-Options", "nosniff");
            response.set_header("Cache-Control", "no-store");
            response.set_content(std::string(file.body), std::string(file.type));
        });
    }
}

void DashboardServer::Impl::routeApi() {
    http.Get("/api/station", [this](const httplib::Request&, httplib::Response& response) {
        answerJson(response, jsonLine(pageStation()));
    });
    http.Get("/api/records", [this](const httplib::Request& request, httplib::Response& response) {
        if (!settings.records) {
            answerJson(response, "[]");
            return;
        }
        const auto records = settings.records(request.get_param_value("since"), recordLimit(request));
        if (!records) {
            answerText(response, 400, "since is not a moment");
            return;
        }
        answerJson(response, *records);
    });
    http.Get("/api/events", [this](const httplib::Request& request, httplib::Response& response) {
        routeEvents(request, response);
    });
}

void DashboardServer::Impl::routeEvents(const httplib::Request&, httplib::Response& response) {
    // On the accepting thread a live connection would stop every other one from being taken.
    auto client = BoundedPool::servingInline() ? nullptr : feed.join();
    if (!client) {
        answerText(response, 503, "too many live connections");
        return;
    }
    client->push(sseMessage("snapshot", jsonLine(pageStation())));
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider(
        "text/event-stream",
        [client, waits = 0](std::size_t, httplib::DataSink& sink) mutable {
            const auto message = client->next(eventWait);
            if (message) {
                waits = 0;
                return sink.write(message->data(), message->size());
            }
            if (client->dropped()) {
                return false; // it fell behind, or the server stops
            }
            if (++waits < waitsBeforeKeepAlive) {
                return true;
            }
            waits = 0;
            return sink.write(": keep-alive\n\n", 14);
        },
        [this, client](bool) { feed.leave(client); });
}

bool DashboardServer::Impl::controlAllowed(const httplib::Request& request,
                                           httplib::Response& response) const {
    if (!settings.control) {
        answerText(response, 403, "control is off: start the station with --control");
        return false;
    }
    if (!sameOrigin(request)) {
        answerText(response, 403, "the request's origin is not this dashboard");
        return false;
    }
    return true;
}

void DashboardServer::Impl::routeControl() {
    http.Post("/api/stop", [this](const httplib::Request& request, httplib::Response& response) {
        if (controlAllowed(request, response) && settings.stopStation) {
            settings.stopStation();
            answerJson(response, R"({"ok":true})");
        }
    });
    for (const bool pause : {true, false}) {
        http.Post(pause ? "/api/pause" : "/api/resume",
                  [this, pause](const httplib::Request& request, httplib::Response& response) {
                      if (!controlAllowed(request, response)) {
                          return;
                      }
                      if (!hold(request.get_param_value("slot"), pause)) {
                          answerText(response, 404, "no such slot");
                          return;
                      }
                      answerJson(response, R"({"ok":true})");
                  });
    }
}

bool DashboardServer::Impl::hold(const std::string& slot, bool pause) {
    const StationSnapshot now = state.snapshot();
    const auto found = std::find_if(now.slots.begin(), now.slots.end(),
                                    [&slot](const SlotSnapshot& known) { return known.name == slot; });
    if (found == now.slots.end()) {
        return false;
    }
    {
        const std::lock_guard lock(heldMutex);
        if (pause) {
            heldSlots.insert(slot);
        } else {
            heldSlots.erase(slot);
        }
    }
    DashboardJson shown = slotJson(*found);
    shown["paused"] = pause;
    feed.publish(sseMessage("state", jsonLine(slotStateMessage(std::move(shown), now.total))));
    return true;
}

DashboardServer::DashboardServer(StationState& state, DashboardSettings settings)
    : impl_(std::make_unique<Impl>(state, std::move(settings))) {
    state.addListener(impl_->feed);
    impl_->setUp();
}

DashboardServer::~DashboardServer() {
    stop();
}

bool DashboardServer::start(std::string& error) {
    const ListenAddress& address = impl_->settings.address;
    httplib::Server& http = impl_->http;
    const int port = address.port == 0 ? http.bind_to_any_port(address.host) : address.port;
    if (port <= 0 || (address.port != 0 && !http.bind_to_port(address.host, address.port))) {
        error = "cannot listen on " + address.host + ":" + std::to_string(address.port);
        return false;
    }
    impl_->port = port;
    ::listen(impl_->listening, listenBacklog); // again, only to widen the backlog
    impl_->thread = std::thread([&http] { http.listen_after_bind(); });
    // A stop before the listening loop runs would not reach it.
    while (!http.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void DashboardServer::publishEvent(const std::string& line) {
    impl_->feed.publish(sseMessage("", line));
}

bool DashboardServer::held(const std::string& slot) const {
    return impl_->held(slot);
}

int DashboardServer::port() const {
    return impl_->port;
}

void DashboardServer::stop() {
    if (!impl_->thread.joinable()) {
        return;
    }
    impl_->feed.closeAll();
    impl_->http.stop();
    impl_->thread.join();
}

} // namespace orvane
