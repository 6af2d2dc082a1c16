// Path splitting by the tool's rule: '/' wins over '\', whichever platform wrote the path.
#include "imagetools/file_name.h"

namespace orvane {
namespace {

// Position just past the separator that ends the folder part; 0 for a bare name.
std::size_t nameStartOf(std::string_view path) {
    std::size_t separator = path.rfind('/');
    if (separator == std::string_view::npos) {
        separator = path.rfind('\\');
    }
    return separator == std::string_view::npos ? 0 : separator + 1;
}

} // namespace

std::string FileNameOfPath(std::string_view path, bool keepExtension) {
    std::string_view name = path.substr(nameStartOf(path));
    if (!keepExtension) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string_view::npos) {
            name = name.substr(0, dot);
        }
    }
    return std::string(name);
}

std::string fileTitleOf(std::string_view path) {
    return FileNameOfPath(path, false);
}

std::string folderOf(std::string_view path) {
    return std::string(path.substr(0, nameStartOf(path)));
}

} // namespace orvane
