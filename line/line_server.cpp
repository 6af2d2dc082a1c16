#include "line/line_server.h"

#include "dashboard/event_feed.h"
#include "dashboard/http_server.h"
#include "dashboard/page_responses.h"
#include "dashboard/request_checks.h"

namespace orvane {
namespace {

enum class Route { Page, Favicon, Line, Records, Events, Pause, Resume };

struct Found {
    Route route;
    bool post = false;
    const PageFile* file = nullptr;
};

std::optional<Found> routeOf(const std::string& path) {
    if (const PageFile* file = pageFileAt(linePageFiles(), path)) {
        return Found{Route::Page, false, file};
    }
    static const std::pair<std::string_view, Found> api[] = {
        {"/favicon.ico", {Route::Favicon}},   {"/api/line", {Route::Line}},
        {"/api/records", {Route::Records}},   {"/api/events", {Route::Events}},
        {"/api/pause", {Route::Pause, true}}, {"/api/resume", {Route::Resume, true}},
    };
    for (const auto& [known, found] : api) {
        if (path == known) {
            return found;
        }
    }
    return std::nullopt;
}

} // namespace

struct LineServer::Impl {
    Impl(LineView& watched, DashboardSettings given, LineControl* commands)
        : view(watched), settings(std::move(given)), control(commands),
          feed(settings.limits.eventClients, settings.limits.eventQueue),
          http(httpLimits(settings.limits),
               HttpRoutes{[this](const HttpRequest& request) { return head(request); },
                          [this](const HttpRequest& request) { return serve(request); }}) {}

    std::optional<HttpResponse> head(const HttpRequest& request) const {
        const auto found = routeOf(request.path);
        return headRefusal(request, settings, http.port(), found ? std::optional(found->post) : std::nullopt,
                           "control is off: start the line's page with --control");
    }
    HttpResponse serve(const HttpRequest& request);
    HttpResponse events();
    HttpResponse records(const HttpRequest& request) const;
    HttpResponse command(Route route, const HttpRequest& request);

    LineView& view;
    DashboardSettings settings;
    LineControl* control;
    EventFeed feed;
    HttpServer http; // after the feed: its connections leave the feed as they go
};

HttpResponse LineServer::Impl::serve(const HttpRequest& request) {
    const Found found = *routeOf(request.path); // the head passed
    HttpResponse response;
    switch (found.route) {
    case Route::Page:
        response = pageResponse(*found.file);
        break;
    case Route::Favicon:
        response = textResponse(204, ""), response.body.clear();
        break;
    case Route::Line:
        response = jsonResponse(view.json());
        break;
    case Route::Records:
        response = records(request);
        break;
    case Route::Events:
        response = events();
        break;
    default:
        response = command(found.route, request);
        break;
    }
    giveCookie(request, settings.token, http.port(), response);
    return response;
}

HttpResponse LineServer::Impl::events() {
    auto client = feed.join();
    if (!client) {
        return textResponse(503, "too many live connections");
    }
    client->push(sseMessage("snapshot", view.json()));
    HttpResponse response;
    response.set("Cache-Control", "no-store");
    response.events = client;
    response.ended = [this, client] { feed.leave(client); };
    return response;
}

HttpResponse LineServer::Impl::records(const HttpRequest& request) const {
    if (!settings.records) {
        return jsonResponse("[]");
    }
    const auto records = settings.records(request.param("since"), recordLimit(request));
    if (!records) {
        return textResponse(400, "since is not a moment");
    }
    return jsonResponse(*records);
}

HttpResponse LineServer::Impl::command(Route route, const HttpRequest& request) {
    const std::string station = request.param("station");
    if (!control || !view.known(station)) {
        return textResponse(404, "no such station");
    }
    std::string error;
    if (!control->send(station, route == Route::Pause ? "pause" : "resume", error)) {
        return textResponse(503, error);
    }
    return jsonResponse(R"({"ok":true})");
}

LineServer::LineServer(LineView& view, DashboardSettings settings, LineControl* control)
    : impl_(std::make_unique<Impl>(view, std::move(settings), control)) {
    view.watch(
        [feed = &impl_->feed](const std::string& message) { feed->publish(sseMessage("state", message)); });
}

LineServer::~LineServer() {
    stop();
}

bool LineServer::start(std::string& error) {
    const DashboardSettings& settings = impl_->settings;
    if ((!settings.tlsCertificate.empty() || !settings.tlsKey.empty()) &&
        !impl_->http.useTls(settings.tlsCertificate, settings.tlsKey, error)) {
        return false;
    }
    return impl_->http.start(settings.address.host, settings.address.port, error);
}

int LineServer::port() const {
    return impl_->http.port();
}

void LineServer::stop() {
    impl_->view.watch({});
    impl_->feed.closeAll();
    impl_->http.stop();
}

} // namespace orvane
