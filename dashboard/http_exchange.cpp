#include "dashboard/http_exchange.h"

#include <algorithm>
#include <cctype>

namespace orvane {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::string decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string HttpRequest::header(std::string_view name) const {
    const auto found = std::find_if(headers.begin(), headers.end(), [name](const auto& field) {
        return equalsIgnoringCase(field.first, name);
    });
    return found == headers.end() ? std::string() : found->second;
}

std::string HttpRequest::param(const std::string& name) const {
    const auto found = query.find(name);
    return found == query.end() ? std::string() : found->second;
}

HttpResponse textResponse(int status, const std::string& text) {
    HttpResponse response;
    response.status = status;
    response.body = text + "\n";
    return response;
}

std::map<std::string, std::string> parseQuery(std::string_view query) {
    std::map<std::string, std::string> params;
    while (!query.empty()) {
        const std::size_t end = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, end);
        const std::size_t equals = std::min(pair.find('='), pair.size());
        const std::string name = decoded(pair.substr(0, equals));
        if (!name.empty()) {
            params.emplace(name, equals < pair.size() ? decoded(pair.substr(equals + 1)) : std::string());
        }
        query.remove_prefix(std::min(end + 1, query.size()));
    }
    return params;
}

} // namespace orvane
