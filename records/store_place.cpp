#include "records/store_place.h"

#include <string>

namespace orvane {

namespace {

// A path as UTF-8 whatever the code page, which is what SQLite takes.
std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

} // namespace

StorePlace storePlaceOf(std::string_view given) {
    if (given == "none") {
        return {StorePlaceKind::none, {}};
    }
    if (given.starts_with("postgresql://") || given.starts_with("postgres://")) {
        return {StorePlaceKind::server, std::string(given)};
    }
    if (given.empty()) {
        return {StorePlaceKind::file, utf8Of(defaultRecordsFile())};
    }
    return {StorePlaceKind::file, std::string(given)};
}

} // namespace orvane
