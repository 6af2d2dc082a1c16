#include "dashboard/page_responses.h"

#include <algorithm>
#include <charconv>

namespace orvane {
namespace {

constexpr std::size_t defaultRecords = 50;
constexpr std::size_t mostRecords = 500;

} // namespace

HttpResponse jsonResponse(const std::string& body) {
    HttpResponse response;
    response.set("Cache-Control", "no-store");
    response.type = "application/json; charset=utf-8";
    response.body = body;
    return response;
}

HttpResponse pageResponse(const PageFile& file) {
    HttpResponse response;
    // The page's script comes only from here: nothing a port's name carries can run.
    response.set("Content-Security-Policy",
                 "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("Cache-Control", "no-store");
    response.type = std::string(file.type);
    response.body = std::string(file.body);
    return response;
}

const PageFile* pageFileAt(std::span<const PageFile> files, const std::string& path) {
    const auto found =
        std::find_if(files.begin(), files.end(), [&](const PageFile& file) { return file.path == path; });
    return found == files.end() ? nullptr : &*found;
}

std::size_t recordLimit(const HttpRequest& request) {
    const std::string text = request.param("limit");
    std::size_t limit = defaultRecords;
    if (!text.empty()) {
        std::from_chars(text.data(), text.data() + text.size(), limit);
    }
    return std::clamp<std::size_t>(limit, 1, mostRecords);
}

} // namespace orvane
