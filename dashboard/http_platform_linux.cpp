// The page's server on Linux: the listening address reused at once after a restart, and HTTPS
// through OpenSSL.
#include "dashboard/http_connection.h"

#include <boost/asio/ssl.hpp>
#include <boost/beast/ssl.hpp>

namespace orvane::http_detail {

void prepareListener(tcp::acceptor& acceptor, beast::error_code& error) {
    acceptor.set_option(net::socket_base::reuse_address(true), error);
}

std::shared_ptr<void> loadTls(const std::string& certificateFile, const std::string& keyFile,
                              std::string& error) {
    auto context = std::make_shared<net::ssl::context>(net::ssl::context::tls_server);
    context->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                         net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 |
                         net::ssl::context::no_tlsv1_1 | net::ssl::context::single_dh_use);
    beast::error_code failed;
    context->use_certificate_chain_file(certificateFile, failed);
    if (failed) {
        error = certificateFile + ": " + failed.message();
        return nullptr;
    }
    context->use_private_key_file(keyFile, net::ssl::context::pem, failed);
    if (failed) {
        error = keyFile + ": " + failed.message();
        return nullptr;
    }
    return context;
}

void serveTls(ServerCore& core, void* context, tcp::socket socket, std::string peer) {
    using TlsStream = beast::ssl_stream<beast::tcp_stream>;
    auto connection = std::make_shared<Connection<TlsStream>>(
        core, TlsStream(beast::tcp_stream(std::move(socket)), *static_cast<net::ssl::context*>(context)),
        std::move(peer), true);
    connection->handshake(net::ssl::stream_base::server);
}

} // namespace orvane::http_detail
