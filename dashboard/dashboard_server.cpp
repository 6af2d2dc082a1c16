#include "dashboard/dashboard_server.h"

#include "dashboard/dashboard_page.h"
#include "dashboard/event_feed.h"
#include "dashboard/http_server.h"
#include "dashboard/page_responses.h"
#include "dashboard/request_checks.h"
#include "dashboard/station_json.h"

#include <algorithm>
#include <mutex>
#include <set>

namespace orvane {
namespace {

enum class Route { Page, Favicon, Station, Records, Events, Stop, Pause, Resume };

struct Found {
    Route route;
    bool post = false;
    const PageFile* file = nullptr;
};

// Paths are matched whole: "/dashboardXjs" is no script.
std::optional<Found> routeOf(const std::string& path) {
    if (const PageFile* file = pageFileAt(pageFiles(), path)) {
        return Found{Route::Page, false, file};
    }
    static const std::pair<std::string_view, Found> api[] = {
        {"/favicon.ico", {Route::Favicon}},     {"/api/station", {Route::Station}},
        {"/api/records", {Route::Records}},     {"/api/events", {Route::Events}},
        {"/api/stop", {Route::Stop, true}},     {"/api/pause", {Route::Pause, true}},
        {"/api/resume", {Route::Resume, true}},
    };
    for (const auto& [known, found] : api) {
        if (path == known) {
            return found;
        }
    }
    return std::nullopt;
}

} // namespace

HttpLimits httpLimits(const DashboardLimits& limits) {
    HttpLimits server;
    server.connections = limits.connections;
    server.perAddress = std::min(limits.perAddress, limits.connections);
    server.headBytes = limits.headBytes;
    server.bodyBytes = limits.bodyBytes;
    server.headTime = limits.ioTimeout;
    server.idleTime = std::max(limits.ioTimeout, server.idleTime);
    server.bodyTime = limits.ioTimeout;
    server.writeTime = limits.ioTimeout;
    return server;
}

std::optional<HttpResponse> headRefusal(const HttpRequest& request, const DashboardSettings& settings,
                                        int port, std::optional<bool> post, const std::string& controlOff) {
    if (request.headers.size() > settings.limits.headers) {
        return textResponse(431, "too many header fields");
    }
    if (auto refused = refusal(request, settings.token, port)) {
        return refused;
    }
    if (!post) {
        return textResponse(404, "no such page");
    }
    if (request.method != (*post ? "POST" : "GET")) {
        HttpResponse wrong = textResponse(405, "not with this method");
        wrong.set("Allow", *post ? "POST" : "GET");
        return wrong;
    }
    if (*post && !settings.control) {
        return textResponse(403, controlOff);
    }
    if (*post && !sameOrigin(request, settings.tlsCertificate.empty() ? "http" : "https")) {
        return textResponse(403, "the request's origin is not this dashboard");
    }
    return std::nullopt;
}

struct DashboardServer::Impl {
    Impl(StationState& watched, DashboardSettings given)
        : state(watched), settings(std::move(given)),
          feed(
              settings.limits.eventClients, settings.limits.eventQueue,
              [this](const std::string& slot) { return held(slot); }, settings.slotEvents),
          http(httpLimits(settings.limits),
               HttpRoutes{[this](const HttpRequest& request) { return head(request); },
                          [this](const HttpRequest& request) { return serve(request); }}) {}

    std::optional<HttpResponse> head(const HttpRequest& request) const;
    HttpResponse serve(const HttpRequest& request);
    HttpResponse events();
    HttpResponse records(const HttpRequest& request) const;
    HttpResponse control(Route route, const HttpRequest& request);
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
    HttpServer http; // after the feed: its connections leave the feed as they go
    bool started = false;
};

// Everything that can be refused is refused on the head alone, before any body is read.
std::optional<HttpResponse> DashboardServer::Impl::head(const HttpRequest& request) const {
    const auto found = routeOf(request.path);
    return headRefusal(request, settings, http.port(), found ? std::optional(found->post) : std::nullopt,
                       "control is off: start the station with --control");
}

HttpResponse DashboardServer::Impl::serve(const HttpRequest& request) {
    const Found found = *routeOf(request.path); // the head passed
    HttpResponse response;
    switch (found.route) {
    case Route::Page:
        response = pageResponse(*found.file);
        break;
    case Route::Favicon:
        response = textResponse(204, ""), response.body.clear();
        break;
    case Route::Station:
        response = jsonResponse(jsonLine(pageStation()));
        break;
    case Route::Records:
        response = records(request);
        break;
    case Route::Events:
        response = events();
        break;
    default:
        response = control(found.route, request);
        break;
    }
    giveCookie(request, settings.token, http.port(), response);
    return response;
}

HttpResponse DashboardServer::Impl::events() {
    auto client = feed.join();
    if (!client) {
        return textResponse(503, "too many live connections");
    }
    client->push(sseMessage("snapshot", jsonLine(pageStation())));
    HttpResponse response;
    response.set("Cache-Control", "no-store");
    response.events = client;
    response.ended = [this, client] { feed.leave(client); };
    return response;
}

HttpResponse DashboardServer::Impl::records(const HttpRequest& request) const {
    if (!settings.records) {
        return jsonResponse("[]");
    }
    const auto records = settings.records(request.param("since"), recordLimit(request));
    if (!records) {
        return textResponse(400, "since is not a moment");
    }
    return jsonResponse(*records);
}

HttpResponse DashboardServer::Impl::control(Route route, const HttpRequest& request) {
    if (route == Route::Stop) {
        if (!settings.stopStation) {
            return textResponse(404, "this station cannot be stopped from its page");
        }
        settings.stopStation();
    } else if (!hold(request.param("slot"), route == Route::Pause)) {
        return textResponse(404, "no such slot");
    }
    return jsonResponse(R"({"ok":true})");
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
}

DashboardServer::~DashboardServer() {
    stop();
}

bool DashboardServer::start(std::string& error) {
    const DashboardSettings& settings = impl_->settings;
    if ((!settings.tlsCertificate.empty() || !settings.tlsKey.empty()) &&
        !impl_->http.useTls(settings.tlsCertificate, settings.tlsKey, error)) {
        return false;
    }
    impl_->started = impl_->http.start(settings.address.host, settings.address.port, error);
    return impl_->started;
}

void DashboardServer::publishEvent(const std::string& line) {
    impl_->feed.publish(sseMessage("", line));
}

bool DashboardServer::held(const std::string& slot) const {
    return impl_->held(slot);
}

int DashboardServer::port() const {
    return impl_->http.port();
}

void DashboardServer::stop() {
    impl_->feed.closeAll();
    impl_->http.stop();
}

} // namespace orvane
