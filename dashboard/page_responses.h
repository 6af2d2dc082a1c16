// The answers both pages give alike: a file of the page, a JSON body, and how many records a
// request may ask for.
#pragma once

#include "dashboard/dashboard_page.h"
#include "dashboard/http_exchange.h"

#include <cstddef>
#include <span>
#include <string>

namespace orvane {

HttpResponse pageResponse(const PageFile& file);
HttpResponse jsonResponse(const std::string& body);
// The page's file at path, matched whole ("/dashboardXjs" is no script), or null.
const PageFile* pageFileAt(std::span<const PageFile> files, const std::string& path);
// "?limit=": 50 when not given, at most 500.
std::size_t recordLimit(const HttpRequest& request);

} // namespace orvane
