// What every request must pass before it is served: few enough headers, the token when the
// dashboard has one, and for a control request the page's own origin.
#pragma once

#include <httplib.h>
#include <optional>
#include <string>

namespace orvane {

inline constexpr const char* tokenCookie = "orvane_token";

// The token the request carries: "Authorization: Bearer", the cookie, or "?token=".
std::string tokenOf(const httplib::Request& request);

// Whether request may be served; answers it (401) when not. A right "?token=" sets the
// cookie, so the page's own requests carry it from then on.
bool admitted(const httplib::Request& request, httplib::Response& response,
              const std::optional<std::string>& token);

// Whether the request was sent to a loopback name: without a token, a page elsewhere whose
// name was pointed at 127.0.0.1 (DNS rebinding) must not read the station.
bool sentToLoopback(const httplib::Request& request);

// Whether the request's Origin is the host it was sent to: a page from elsewhere cannot post.
bool sameOrigin(const httplib::Request& request);

} // namespace orvane
