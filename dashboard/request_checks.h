// What every request must pass before it is served: the token when the dashboard has one, the
// loopback name when it has none, and for a control request the page's own origin.
#pragma once

#include "dashboard/http_exchange.h"

#include <optional>
#include <string>

namespace orvane {

// The token's cookie: one per port, so the pages of two stations on one host keep their own.
std::string tokenCookie(int port);

// The token the request carries: "Authorization: Bearer" (any case), the cookie, or "?token=".
std::string tokenOf(const HttpRequest& request, int port);

// The answer refusing the request (401, 421), or none when it may be served.
std::optional<HttpResponse> refusal(const HttpRequest& request, const std::optional<std::string>& token,
                                    int port);

// A right "?token=" sets the cookie, so the page's own requests carry it from then on.
void giveCookie(const HttpRequest& request, const std::optional<std::string>& token, int port,
                HttpResponse& response);

// Whether the request was sent to a loopback name: without a token, a page elsewhere whose
// name was pointed at 127.0.0.1 (DNS rebinding) must not read the station.
bool sentToLoopback(const HttpRequest& request);

// Whether the request's Origin is the host it was sent to: a page from elsewhere cannot post.
bool sameOrigin(const HttpRequest& request, const std::string& scheme);

} // namespace orvane
