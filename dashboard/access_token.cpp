#include "dashboard/access_token.h"

#include "dashboard/private_file.h"

#include <array>
#include <fstream>

namespace orvane {

namespace {

constexpr std::size_t tokenBytes = 32;

} // namespace

bool writeNewToken(const std::string& path, std::string& error) {
    std::array<unsigned char, tokenBytes> bytes{};
    if (!randomBytes(bytes, error)) {
        return false;
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string line;
    for (const unsigned char byte : bytes) {
        line += digits[byte >> 4];
        line += digits[byte & 0x0f];
    }
    return writeNewPrivateFile(path, line + "\n", error);
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
