#include "dashboard/dashboard_server.h"

#include <arpa/inet.h>
#include <charconv>

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
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return host == "localhost" ||
           (::inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6));
}

} // namespace orvane
