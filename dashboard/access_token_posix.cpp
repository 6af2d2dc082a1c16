#include "dashboard/access_token.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/random.h>
#include <unistd.h>

namespace orvane {
namespace {

constexpr std::size_t tokenBytes = 32;

std::optional<std::string> randomHex(std::string& error) {
    std::array<unsigned char, tokenBytes> bytes{};
    if (getrandom(bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        error = std::string("no random bytes: ") + std::strerror(errno);
        return std::nullopt;
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0f];
    }
    return hex;
}

} // namespace

bool writeNewToken(const std::string& path, std::string& error) {
    const auto token = randomHex(error);
    if (!token) {
        return false;
    }
    // O_EXCL: an old token (or a link planted in its place) is never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string line = *token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = path + ": " + std::strerror(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> readToken(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string token;
    if (!in || !std::getline(in, token)) {
        error = path + ": cannot read the token";
        return std::nullopt;
    }
    while (!token.empty() && (token.back() == '\r' || token.back() == ' ')) {
        token.pop_back();
    }
    if (token.size() < 16) {
        error = path + ": the token is shorter than 16 characters";
        return std::nullopt;
    }
    return token;
}

bool tokensEqual(std::string_view given, std::string_view expected) {
    unsigned char differ = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        differ |= static_cast<unsigned char>(g ^ expected[i]);
    }
    return differ == 0;
}

} // namespace orvane
