#include "dashboard/dashboard_server.h"

// GCC 12 in C++20 needs <utility> before Asio's headers.
#include <boost/asio/ip/address.hpp>
#include <charconv>
#include <utility>

namespace orvane {

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
    ListenAddress address;
    std::string portText = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        address.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (address.host.size() >= 2 && address.host.front() == '[' && address.host.back() == ']') {
            address.host = address.host.substr(1, address.host.size() - 2);
        }
        if (address.host.empty()) {
            return std::nullopt;
        }
    }
    const char* end = portText.data() + portText.size();
    const auto parsed = std::from_chars(portText.data(), end, address.port);
    if (portText.empty() || parsed.ec != std::errc{} || parsed.ptr != end || address.port < 1 ||
        address.port > 65535) {
        return std::nullopt;
    }
    return address;
}

bool isLoopbackHost(const std::string& host) {
    // Parsed, not matched by prefix: a name such as "127.example.net" is no loopback.
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(host, error);
    return host == "localhost" || (!error && address.is_loopback());
}

} // namespace orvane
