#include "dashboard/request_checks.h"

#include "dashboard/access_token.h"
#include "dashboard/dashboard_server.h"

#include <string_view>

namespace orvane {
namespace {

std::string cookieValue(const std::string& cookies, std::string_view name) {
    std::size_t at = 0;
    while (at < cookies.size()) {
        const std::size_t end = std::min(cookies.find(';', at), cookies.size());
        std::string_view pair(cookies.data() + at, end - at);
        while (!pair.empty() && pair.front() == ' ') {
            pair.remove_prefix(1);
        }
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name && pair[name.size()] == '=') {
            return std::string(pair.substr(name.size() + 1));
        }
        at = end + 1;
    }
    return {};
}

} // namespace

std::string tokenOf(const httplib::Request& request) {
    const std::string authorization = request.get_header_value("Authorization");
    constexpr std::string_view bearer = "Bearer ";
    if (authorization.compare(0, bearer.size(), bearer) == 0) {
        return authorization.substr(bearer.size());
    }
    if (request.has_param("token")) {
        return request.get_param_value("token");
    }
    return cookieValue(request.get_header_value("Cookie"), tokenCookie);
}

bool admitted(const httplib::Request& request, httplib::Response& response,
              const std::optional<std::string>& token) {
    if (!token) {
        if (!sentToLoopback(request)) {
            response.status = 421;
            response.set_content("this page answers to 127.0.0.1 only\n", "text/plain; charset=utf-8");
            return false;
        }
        return true;
    }
    if (!tokensEqual(tokenOf(request), *token)) {
        response.status = 401;
        response.set_header("WWW-Authenticate", "Bearer");
        response.set_content("a token is needed\n", "text/plain; charset=utf-8");
        return false;
    }
    if (request.has_param("token")) {
        response.set_header("Set-Cookie",
                            std::string(tokenCookie) + "=" + *token + "; Path=/; HttpOnly; SameSite=Strict");
    }
    return true;
}

bool sentToLoopback(const httplib::Request& request) {
    std::string host = request.get_header_value("Host");
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.find(']') - 1); // [::1]:8080
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
        host.resize(colon);
    }
    return isLoopbackHost(host);
}

bool sameOrigin(const httplib::Request& request) {
    const std::string origin = request.get_header_value("Origin");
    const std::string host = request.get_header_value("Host");
    return !origin.empty() && !host.empty() && origin == "http://" + host;
}

} // namespace orvane
