// The page's HTTP server: one event loop thread, so a slow, idle or huge client costs a few
// kilobytes and a timer, never a thread. Every connection has a deadline for its request's
// head and another for its body, both bounded in bytes; the routes see the head before any
// body is read, so a request without its token is turned away before it can send one. Past
// the limits a client gets 503 at once and is closed.
#pragma once

#include "dashboard/http_exchange.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

struct HttpLimits {
    std::size_t connections = 512;
    std::size_t perAddress = 64;
    std::size_t headBytes = 16 * 1024;
    std::size_t bodyBytes = 4096;
    std::chrono::milliseconds headTime{5000}; // a new connection's whole first head
    // A kept-alive connection's wait for its next request, head included: longer than the
    // page's 5 s between fetches, so a screen's connection is not closed just as it is reused.
    std::chrono::milliseconds idleTime{15000};
    std::chrono::milliseconds bodyTime{5000};
    std::chrono::milliseconds writeTime{5000}; // each answer, each batch of events
    int eventSendBuffer = 32 * 1024;           // an event stream's socket: a stalled reader fills it soon
    unsigned requestsPerConnection = 1000;
};

struct HttpRoutes {
    // Once the head is in: an answer now (a refusal; the connection is then closed), or none
    // to read the body and serve.
    std::function<std::optional<HttpResponse>(const HttpRequest&)> head;
    std::function<HttpResponse(const HttpRequest&)> serve;
};

class HttpServer {
  public:
    HttpServer(HttpLimits limits, HttpRoutes routes);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before start: HTTPS with the certificate chain and key in these PEM files (TLS 1.2 and
    // 1.3); false with error said when they do not load or this build has no TLS.
    bool useTls(const std::string& certificateFile, const std::string& keyFile, std::string& error);
    // Binds and serves on a thread of its own; false with error said when it cannot bind.
    bool start(const std::string& host, int port, std::string& error);
    int port() const;
    // Closes every connection at once and ends the loop.
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvane
