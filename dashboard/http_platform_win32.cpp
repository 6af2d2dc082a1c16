// The page's server on Windows: the address is not shared (SO_REUSEADDR there lets another
// program take the port), and no TLS: Debian has no OpenSSL built for mingw-w64.
#include "dashboard/http_connection.h"

namespace orvane::http_detail {

void prepareListener(tcp::acceptor& acceptor, beast::error_code& error) {
    acceptor.set_option(net::socket_base::reuse_address(false), error);
}

std::shared_ptr<void> loadTls(const std::string&, const std::string&, std::string& error) {
    error = "--tls-cert and --tls-key are not available on Windows";
    return nullptr;
}

void serveTls(ServerCore&, void*, tcp::socket, std::string) {}

} // namespace orvane::http_detail
