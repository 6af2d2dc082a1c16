// A small HTTP client for the page's tests: raw bytes over one loopback connection, so a test
// can send what no browser would (pipelined, malformed, never finished), and a reader of the
// answers that came back.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::test {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Reply {
    int status = 0;
    Fields headers;
    std::string body;
    std::string header(std::string_view name) const;
};

class Probe {
  public:
    explicit Probe(int port, const std::string& from = "127.0.0.1");
    ~Probe();
    bool connected() const;
    bool send(std::string_view bytes);
    // What came until the server closed, wait passed, or until held for what came so far.
    std::string receive(std::chrono::milliseconds wait,
                        const std::function<bool(const std::string&)>& until = {});
    // Whether the server closed the connection within wait (anything it sent is dropped).
    bool closedWithin(std::chrono::milliseconds wait);
    void close();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::string requestText(const std::string& method, const std::string& target, int port,
                        const Fields& fields = {}, const std::string& body = "");
// Every whole answer in text, in order (bodies by Content-Length or chunked).
std::vector<Reply> parseReplies(const std::string& text);
// One request on a connection of its own; none when no answer came within 10 s.
std::optional<Reply> fetch(int port, const std::string& method, const std::string& target,
                           const Fields& fields = {}, const std::string& body = "");

} // namespace orvane::test
