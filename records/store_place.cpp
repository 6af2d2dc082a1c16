#include "records/store_place.h"

#include <algorithm>
#include <string>

namespace orvane {

namespace {

// A path as UTF-8 whatever the code page, which is what SQLite takes.
std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

bool isServerUri(std::string_view given) {
    return given.starts_with("postgresql://") || given.starts_with("postgres://");
}

// Masks every value of a password parameter in the query from 'from' on.
void maskPasswordParameters(std::string& uri, std::size_t from) {
    constexpr std::string_view key = "password=";
    for (std::size_t at = uri.find(key, from); at != std::string::npos; at = uri.find(key, at)) {
        const bool starts = at > 0 && (uri[at - 1] == '?' || uri[at - 1] == '&');
        at += key.size();
        if (starts) {
            const std::size_t end = std::min(uri.find('&', at), uri.size());
            uri.replace(at, end - at, "***");
        }
    }
}

} // namespace

std::string shownPlace(std::string_view where) {
    std::string shown(where);
    if (!isServerUri(where)) {
        return shown;
    }
    const std::size_t authority = shown.find("://") + 3;
    const std::size_t authorityEnd = std::min(shown.find_first_of("/?#", authority), shown.size());
    const std::size_t at = shown.rfind('@', authorityEnd);
    if (at != std::string::npos && at >= authority) {
        const std::size_t colon = shown.find(':', authority);
        if (colon < at) {
            shown.replace(colon + 1, at - colon - 1, "***");
        }
    }
    maskPasswordParameters(shown, authority);
    return shown;
}

StorePlace storePlaceOf(std::string_view given) {
    if (given == "none") {
        return {StorePlaceKind::none, {}};
    }
    if (isServerUri(given)) {
        return {StorePlaceKind::server, std::string(given)};
    }
    if (given.empty()) {
        return {StorePlaceKind::file, utf8Of(defaultRecordsFile())};
    }
    return {StorePlaceKind::file, std::string(given)};
}

} // namespace orvane
