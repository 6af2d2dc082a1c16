// Inside the page's HTTP server (Boost.Beast over Boost.Asio): the loop's shared counts and one
// connection, plain or over TLS. Only the server's own sources include this: Beast is heavy to
// compile, and nothing above the server needs to see it.
#pragma once

#include "dashboard/event_feed.h"
#include "dashboard/http_server.h"

// GCC 12 in C++20 needs <utility> before Asio's headers.
#include <array>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace orvane::http_detail {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

class Linked {
  public:
    virtual ~Linked() = default;
    virtual void abort() = 0;
};

// Everything the connections share, touched on the loop's thread only.
struct ServerCore {
    ServerCore(HttpLimits given, HttpRoutes served) : limits(given), routes(std::move(served)) {}
    HttpLimits limits;
    HttpRoutes routes;
    std::set<Linked*> open;
    std::map<std::string, std::size_t> perAddress;
    std::size_t admitted = 0;
    std::size_t refusing = 0; // turned away at the door, their 503 on its way
    bool https = false;
    // Last: destroyed first, with any handler still holding a connection.
    net::io_context io{1};
};

// A connection's request head, its fields as they came.
HttpRequest requestHead(const http::request<http::string_body>& message);
// 400, 413, 431 for a parser's error; none when the connection just ends (closed, too slow).
std::optional<HttpResponse> parseFailure(const beast::error_code& error);
// One Server-Sent Events batch as a chunk of the stream's chunked body.
void appendChunk(std::string& out, const std::string& data);
std::string eventStreamHead(const HttpResponse& response);
void fillResponse(http::response<http::string_body>& message, HttpResponse&& response);

constexpr std::size_t mostRefusing = 64;
constexpr auto lingerTime = std::chrono::milliseconds(500);
constexpr std::size_t mostDrained = 1 << 20;
constexpr auto keepAliveEvery = std::chrono::seconds(15);

template <class Stream>
class Connection final : public Linked, public std::enable_shared_from_this<Connection<Stream>> {
  public:
    Connection(ServerCore& core, Stream stream, std::string peer, bool counted)
        : core_(core), stream_(std::move(stream)), peer_(std::move(peer)), counted_(counted),
          buffer_(2 * core.limits.headBytes), timer_(core.io) {
        core_.open.insert(this);
        if (counted_) {
            ++core_.admitted;
            ++core_.perAddress[peer_];
        } else {
            ++core_.refusing;
        }
    }
    ~Connection() override {
        core_.open.erase(this);
        if (counted_) {
            --core_.admitted;
            if (--core_.perAddress[peer_] == 0) {
                core_.perAddress.erase(peer_);
            }
        } else {
            --core_.refusing;
        }
        if (events_) {
            events_->close();
        }
        if (ended_) {
            ended_();
        }
    }
    void run() { readHead(); }
    // TLS: the handshake within the head's time, then the requests (kind: the server's side).
    template <class Kind> void handshake(Kind kind) {
        lowest().expires_after(core_.limits.headTime);
        stream_.async_handshake(
            kind, [me = self()](beast::error_code error) { error ? me->lowest().close() : me->readHead(); });
    }
    void refuse(HttpResponse response) { send(std::move(response), true); }
    void abort() override {
        timer_.cancel();
        lowest().close();
    }

  private:
    auto& lowest() { return beast::get_lowest_layer(stream_); }
    auto self() { return this->shared_from_this(); }

    void readHead() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(core_.limits.headBytes));
        parser_->body_limit(core_.limits.bodyBytes);
        lowest().expires_after(served_ == 0 ? core_.limits.headTime : core_.limits.idleTime);
        http::async_read_header(stream_, buffer_, *parser_,
                                [me = self()](beast::error_code error, std::size_t) { me->onHead(error); });
    }

    void onHead(const beast::error_code& error) {
        if (error) {
            failed(error);
            return;
        }
        request_ = requestHead(parser_->get());
        if (auto refused = core_.routes.head(request_)) {
            // Its body, if any, is never read: the connection cannot go on after it.
            const bool bodyLeft = !parser_->is_done();
            send(std::move(*refused), bodyLeft || !parser_->get().keep_alive());
            return;
        }
        if (parser_->is_done()) {
            serve();
            return;
        }
        lowest().expires_after(core_.limits.bodyTime);
        if (equalsIgnoringCase(request_.header("Expect"), "100-continue")) {
            static constexpr std::string_view goOn = "HTTP/1.1 100 Continue\r\n\r\n";
            net::async_write(stream_, net::buffer(goOn.data(), goOn.size()),
                             [me = self()](beast::error_code failure, std::size_t) {
                                 failure ? me->lowest().close() : me->readBody();
                             });
            return;
        }
        readBody();
    }

    void readBody() {
        http::async_read(stream_, buffer_, *parser_, [me = self()](beast::error_code error, std::size_t) {
            if (error) {
                me->failed(error);
                return;
            }
            me->request_.body = std::move(me->parser_->get().body());
            me->serve();
        });
    }

    void failed(const beast::error_code& error) {
        if (auto answer = parseFailure(error)) {
            refuse(std::move(*answer));
        } else {
            lowest().close();
        }
    }

    void serve() {
        HttpResponse response;
        try {
            response = core_.routes.serve(request_);
        } catch (const std::exception&) {
            response = textResponse(500, "the page's server failed on this request");
        }
        if (response.events) {
            startEvents(std::move(response));
            return;
        }
        ++served_;
        send(std::move(response),
             !parser_->get().keep_alive() || served_ >= core_.limits.requestsPerConnection);
    }

    void send(HttpResponse response, bool close) {
        response_.emplace();
        fillResponse(*response_, std::move(response));
        response_->keep_alive(!close);
        response_->prepare_payload();
        closeAfter_ = close;
        lowest().expires_after(core_.limits.writeTime);
        http::async_write(stream_, *response_, [me = self()](beast::error_code error, std::size_t) {
            if (error) {
                me->lowest().close();
            } else if (me->closeAfter_) {
                me->linger();
            } else {
                me->readHead();
            }
        });
    }

    // The answer is out: stop sending and read what the client still sends for a moment, so
    // the close does not reset the connection before the client has read the answer.
    void linger() {
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        lowest().expires_after(lingerTime);
        drain();
    }
    void drain() {
        lowest().async_read_some(net::buffer(discard_),
                                 [me = self()](beast::error_code error, std::size_t n) {
                                     me->drained_ += n;
                                     if (error || me->drained_ > mostDrained) {
                                         me->lowest().close();
                                     } else {
                                         me->drain();
                                     }
                                 });
    }

    void startEvents(HttpResponse response) {
        events_ = std::move(response.events);
        ended_ = std::move(response.ended);
        beast::error_code ignored;
        lowest().socket().set_option(net::socket_base::send_buffer_size(core_.limits.eventSendBuffer),
                                     ignored);
        out_ = eventStreamHead(response);
        std::weak_ptr<Connection> weak = self();
        events_->watch([weak, &io = core_.io] {
            net::post(io, [weak] {
                if (const auto me = weak.lock()) {
                    me->pump();
                }
            });
        });
        keepAlive();
        pump();
    }

    void keepAlive() {
        timer_.expires_after(keepAliveEvery);
        timer_.async_wait([me = self()](beast::error_code error) {
            if (!error) {
                me->events_->push(": keep-alive\n\n"); // finds a client that has gone
                me->keepAlive();
            }
        });
    }

    void pump() {
        if (writing_) {
            return;
        }
        if (events_->dropped()) {
            abort(); // it fell behind, or the server stops
            return;
        }
        for (const std::string& message : events_->take()) {
            appendChunk(out_, message);
        }
        if (out_.empty()) {
            return;
        }
        writing_ = true;
        lowest().expires_after(core_.limits.writeTime);
        net::async_write(stream_, net::buffer(out_), [me = self()](beast::error_code error, std::size_t) {
            me->writing_ = false;
            me->out_.clear();
            if (error) {
                me->abort();
            } else {
                me->pump();
            }
        });
    }

    ServerCore& core_;
    Stream stream_;
    std::string peer_;
    bool counted_;
    beast::flat_buffer buffer_;
    net::steady_timer timer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> response_;
    HttpRequest request_;
    unsigned served_ = 0;
    bool closeAfter_ = false;
    std::array<char, 4096> discard_{};
    std::size_t drained_ = 0;
    std::shared_ptr<EventClient> events_;
    std::function<void()> ended_;
    std::string out_;
    bool writing_ = false;
};

// The platform's half: the listening socket's options, and TLS where this build has it.
void prepareListener(tcp::acceptor& acceptor, beast::error_code& error);
std::shared_ptr<void> loadTls(const std::string& certificateFile, const std::string& keyFile,
                              std::string& error);
void serveTls(ServerCore& core, void* context, tcp::socket socket, std::string peer);

} // namespace orvane::http_detail
