#include "dashboard/http_server.h"

#include "dashboard/http_connection.h"

#include <thread>

namespace orvane {

namespace http_detail {

HttpRequest requestHead(const http::request<http::string_body>& message) {
    HttpRequest request;
    request.method = std::string(message.method_string());
    const auto given = message.target();
    const std::string_view target(given.data(), given.size());
    const std::size_t question = std::min(target.find('?'), target.size());
    request.path = std::string(target.substr(0, question));
    if (question < target.size()) {
        request.query = parseQuery(target.substr(question + 1));
    }
    for (const auto& field : message) {
        request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    return request;
}

std::optional<HttpResponse> parseFailure(const beast::error_code& error) {
    if (error == http::error::header_limit) {
        return textResponse(431, "the request's head is too large");
    }
    if (error == http::error::body_limit) {
        return textResponse(413, "the request's body is too large");
    }
    // Ended before a whole request: closed by the client, nothing to answer.
    if (error == http::error::end_of_stream || error == http::error::partial_message) {
        return std::nullopt;
    }
    if (error.category() == beast::error_code(http::error::bad_target).category()) {
        return textResponse(400, "not a request this server reads");
    }
    return std::nullopt;
}

void appendChunk(std::string& out, const std::string& data) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string size;
    for (std::size_t n = data.size(); n != 0; n >>= 4) {
        size.insert(size.begin(), digits[n & 0xf]);
    }
    out += size + "\r\n" + data + "\r\n";
}

std::string eventStreamHead(const HttpResponse& response) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nTransfer-Encoding: chunked\r\n"
                       "Referrer-Policy: no-referrer\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    return head + "\r\n";
}

void fillResponse(http::response<http::string_body>& message, HttpResponse&& response) {
    message.result(static_cast<unsigned>(response.status));
    message.version(11);
    for (const auto& [name, value] : response.headers) {
        message.insert(name, value);
    }
    if (!response.body.empty() || response.status != 204) {
        message.set(http::field::content_type, response.type);
    }
    // The token is in the page's address: it must not go on to anything the page loads.
    message.set("Referrer-Policy", "no-referrer");
    message.body() = std::move(response.body);
}

} // namespace http_detail

using namespace http_detail;

struct HttpServer::Impl {
    Impl(HttpLimits limits, HttpRoutes routes) : core(limits, std::move(routes)) {}

    void accept();
    void admit(tcp::socket socket);
    void closeEverything();

    ServerCore core;
    tcp::acceptor acceptor{core.io};
    net::steady_timer retry{core.io};
    std::shared_ptr<void> tls;
    std::thread thread;
    int port = 0;
};

void HttpServer::Impl::accept() {
    acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error == net::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        if (error) { // out of descriptors, most likely: a moment for some to close
            retry.expires_after(std::chrono::milliseconds(100));
            retry.async_wait([this](beast::error_code failed) {
                if (!failed) {
                    accept();
                }
            });
            return;
        }
        admit(std::move(socket));
        accept();
    });
}

void HttpServer::Impl::admit(tcp::socket socket) {
    beast::error_code error;
    const auto remote = socket.remote_endpoint(error);
    if (error) {
        return;
    }
    std::string peer = remote.address().to_string();
    const HttpLimits& limits = core.limits;
    const auto fromPeer = core.perAddress.find(peer);
    const bool full = core.admitted >= limits.connections ||
                      (fromPeer != core.perAddress.end() && fromPeer->second >= limits.perAddress);
    if (full) {
        if (core.https || core.refusing >= mostRefusing) {
            return; // closed: a flood is not answered one by one
        }
        std::make_shared<Connection<beast::tcp_stream>>(core, beast::tcp_stream(std::move(socket)), peer,
                                                        false)
            ->refuse(textResponse(503, "too many connections: try again shortly"));
        return;
    }
    socket.set_option(tcp::no_delay(true), error);
    if (tls) {
        serveTls(core, tls.get(), std::move(socket), std::move(peer));
        return;
    }
    std::make_shared<Connection<beast::tcp_stream>>(core, beast::tcp_stream(std::move(socket)),
                                                    std::move(peer), true)
        ->run();
}

void HttpServer::Impl::closeEverything() {
    beast::error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
    for (Linked* connection : std::set<Linked*>(core.open)) {
        connection->abort();
    }
}

HttpServer::HttpServer(HttpLimits limits, HttpRoutes routes)
    : impl_(std::make_unique<Impl>(limits, std::move(routes))) {}

HttpServer::~HttpServer() {
    stop();
}

bool HttpServer::useTls(const std::string& certificateFile, const std::string& keyFile, std::string& error) {
    impl_->tls = loadTls(certificateFile, keyFile, error);
    impl_->core.https = static_cast<bool>(impl_->tls);
    return impl_->core.https;
}

bool HttpServer::start(const std::string& host, int port, std::string& error) {
    beast::error_code failed;
    tcp::resolver resolver(impl_->core.io);
    const auto found = resolver.resolve(host, std::to_string(port), tcp::resolver::passive, failed);
    tcp::acceptor& acceptor = impl_->acceptor;
    if (!failed && found.empty()) {
        failed = net::error::host_not_found;
    }
    if (!failed) {
        const tcp::endpoint endpoint = found.begin()->endpoint();
        const std::function<void()> steps[] = {
            [&] { acceptor.open(endpoint.protocol(), failed); },
            [&] { prepareListener(acceptor, failed); },
            [&] { acceptor.bind(endpoint, failed); },
            // A wall of screens reconnecting at once after the station's restart.
            [&] { acceptor.listen(256, failed); },
        };
        for (std::size_t step = 0; step < std::size(steps) && !failed; ++step) {
            steps[step]();
        }
    }
    if (failed) {
        error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + failed.message();
        return false;
    }
    impl_->port = acceptor.local_endpoint().port();
    impl_->accept();
    impl_->thread = std::thread([this] { impl_->core.io.run(); });
    return true;
}

int HttpServer::port() const {
    return impl_->port;
}

void HttpServer::stop() {
    if (!impl_->thread.joinable()) {
        return;
    }
    net::post(impl_->core.io, [this] { impl_->closeEverything(); });
    impl_->thread.join();
}

} // namespace orvane
