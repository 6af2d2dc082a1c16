// The pages' files, built into the program: nothing is read from the disk or the internet.
#pragma once

#include <span>
#include <string_view>

namespace orvane {

struct PageFile {
    std::string_view path; // as requested
    std::string_view type; // its Content-Type
    std::string_view body;
};

std::span<const PageFile> pageFiles();     // the station's page
std::span<const PageFile> linePageFiles(); // the line's page

} // namespace orvane
