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

std::string tokenCookie(int port) {
    return "orvane_token_" + std::to_string(port);
}

std::string tokenOf(const HttpRequest& request, int port) {
    const std::string authorization = request.header("Authorization");
    constexpr std::string_view bearer = "Bearer ";
    if (authorization.size() >= bearer.size() &&
        equalsIgnoringCase(std::string_view(authorization).substr(0, bearer.size()), bearer)) {
        return authorization.substr(bearer.size());
    }
    if (request.hasParam("token")) {
        return request.param("token");
    }
    return cookieValue(request.header("Cookie"), tokenCookie(port));
}

std::optional<HttpResponse> refusal(const HttpRequest& request, const std::optional<std::string>& token,
                                    int port) {
    if (!token) {
        if (!sentToLoopback(request)) {
            return textResponse(421, "this page answers to 127.0.0.1 only");
        }
        return std::nullopt;
    }
    if (!tokensEqual(tokenOf(request, port), *token)) {
        HttpResponse refused = textResponse(401, "a token is needed");
        refused.set("WWW-Authenticate", "Bearer");
        return refused;
    }
    return std::nullopt;
}

void giveCookie(const HttpRequest& request, const std::optional<std::string>& token, int port,
                HttpResponse& response) {
    if (token && request.hasParam("token")) {
        response.set("Set-Cookie", tokenCookie(port) + "=" + *token + "; Path=/; HttpOnly; SameSite=Strict");
    }
}

bool sentToLoopback(const HttpRequest& request) {
    std::string host = request.header("Host");
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.find(']') - 1); // [::1]:8080
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
        host.resize(colon);
    }
    return isLoopbackHost(host);
}

bool sameOrigin(const HttpRequest& request, const std::string& scheme) {
    const std::string origin = request.header("Origin");
    const std::string host = request.header("Host");
    return !origin.empty() && !host.empty() && origin == scheme + "://" + host;
}

} // namespace orvane
