#include "http_probe.h"

#include <array>
#include <boost/asio.hpp>
#include <cctype>
#include <charconv>
#include <utility>

namespace orvane::test {

namespace net = boost::asio;
using tcp = net::ip::tcp;

struct Probe::Impl {
    net::io_context io;
    tcp::socket socket{io};
    bool open = false;
    bool ended = false;
};

Probe::Probe(int port, const std::string& from) : impl_(std::make_unique<Impl>()) {
    boost::system::error_code error;
    impl_->socket.open(tcp::v4(), error);
    impl_->socket.bind(tcp::endpoint(net::ip::make_address(from), 0), error);
    impl_->socket.connect(
        tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)), error);
    impl_->open = !error;
}

Probe::~Probe() = default;

bool Probe::connected() const {
    return impl_->open;
}

bool Probe::send(std::string_view bytes) {
    boost::system::error_code error;
    net::write(impl_->socket, net::buffer(bytes.data(), bytes.size()), error);
    return !error;
}

std::string Probe::receive(std::chrono::milliseconds wait,
                           const std::function<bool(const std::string&)>& until) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + wait;
    std::array<char, 16384> buffer{};
    while (!impl_->ended && !(until && until(got)) && std::chrono::steady_clock::now() < end) {
        bool done = false;
        impl_->socket.async_read_some(net::buffer(buffer),
                                      [&](boost::system::error_code error, std::size_t n) {
                                          got.append(buffer.data(), n);
                                          impl_->ended = error && error != net::error::operation_aborted;
                                          done = true;
                                      });
        impl_->io.restart();
        impl_->io.run_until(end);
        if (!done) {
            impl_->socket.cancel();
            impl_->io.restart();
            impl_->io.run();
        }
    }
    return got;
}

bool Probe::closedWithin(std::chrono::milliseconds wait) {
    receive(wait);
    return impl_->ended;
}

void Probe::close() {
    boost::system::error_code ignored;
    impl_->socket.close(ignored);
}

std::string Reply::header(std::string_view name) const {
    for (const auto& [field, value] : headers) {
        if (field.size() == name.size() &&
            std::equal(field.begin(), field.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return value;
        }
    }
    return {};
}

std::string requestText(const std::string& method, const std::string& target, int port, const Fields& fields,
                        const std::string& body) {
    std::string text = method + " " + target + " HTTP/1.1\r\n";
    bool host = false;
    for (const auto& [name, value] : fields) {
        text += name + ": " + value + "\r\n";
        host = host || name == "Host";
    }
    if (!host) {
        text += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    }
    if (method == "POST") {
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    return text + "\r\n" + body;
}

namespace {

// The body at text[at...] in chunks; none when not all of it is there.
std::optional<std::string> dechunked(const std::string& text, std::size_t& at) {
    std::string body;
    for (;;) {
        const std::size_t line = text.find("\r\n", at);
        if (line == std::string::npos) {
            return std::nullopt;
        }
        std::size_t size = 0;
        std::from_chars(text.data() + at, text.data() + line, size, 16);
        at = line + 2;
        if (size == 0) {
            at += 2;
            return body;
        }
        if (at + size + 2 > text.size()) {
            return std::nullopt;
        }
        body += text.substr(at, size);
        at += size + 2;
    }
}

} // namespace

std::vector<Reply> parseReplies(const std::string& text) {
    std::vector<Reply> replies;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t headEnd = text.find("\r\n\r\n", at);
        if (headEnd == std::string::npos || text.compare(at, 5, "HTTP/") != 0) {
            break;
        }
        Reply reply;
        std::from_chars(text.data() + at + 9, text.data() + at + 12, reply.status);
        for (std::size_t line = text.find("\r\n", at) + 2; line < headEnd;) {
            const std::size_t end = text.find("\r\n", line);
            const std::size_t colon = text.find(':', line);
            reply.headers.emplace_back(text.substr(line, colon - line),
                                       text.substr(colon + 2, end - colon - 2));
            line = end + 2;
        }
        at = headEnd + 4;
        if (reply.header("Transfer-Encoding") == "chunked") {
            const auto body = dechunked(text, at);
            reply.body = body.value_or(text.substr(std::min(at, text.size())));
        } else {
            std::size_t length = 0;
            const std::string given = reply.header("Content-Length");
            std::from_chars(given.data(), given.data() + given.size(), length);
            reply.body = text.substr(at, length);
            at += length;
        }
        replies.push_back(std::move(reply));
    }
    return replies;
}

std::optional<Reply> fetch(int port, const std::string& method, const std::string& target,
                           const Fields& fields, const std::string& body) {
    Probe probe(port);
    Fields closing = fields;
    closing.emplace_back("Connection", "close");
    if (!probe.send(requestText(method, target, port, closing, body))) {
        return std::nullopt;
    }
    auto replies = parseReplies(probe.receive(std::chrono::seconds(10)));
    if (replies.empty()) {
        return std::nullopt;
    }
    return replies.front();
}

} // namespace orvane::test
