// One request and its answer as the page's routes see them: plain strings, no server library,
// so the routes and their checks build without it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane {

class EventClient;

struct HttpRequest {
    std::string method;
    std::string path; // the target before '?'
    std::map<std::string, std::string> query;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first field of that name (any case), or empty.
    std::string header(std::string_view name) const;
    std::string param(const std::string& name) const;
    bool hasParam(const std::string& name) const { return query.contains(name); }
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string type = "text/plain; charset=utf-8";
    std::string body;
    // An event stream: the connection stays open and carries what the client is given, until
    // it is dropped; ended is called once the connection is gone.
    std::shared_ptr<EventClient> events{};
    std::function<void()> ended{};

    void set(std::string name, std::string value) { headers.emplace_back(std::move(name), std::move(value)); }
};

HttpResponse textResponse(int status, const std::string& text);

// The query of a target ("a=1&b=%20x") as names and values, '+' and %XX decoded.
std::map<std::string, std::string> parseQuery(std::string_view query);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace orvane
