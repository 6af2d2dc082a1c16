#include "cli/port_list_file.h"

#include "imagetools/readable_file.h"

namespace orvane {

std::vector<std::string> portsOfListText(std::string_view text) {
    std::vector<std::string> ports;
    // Windows editors save UTF-8 with a byte-order mark; it would stick to the first port.
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark)) {
        text.remove_prefix(byteOrderMark.size());
    }
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        line = line.substr(0, line.find('#'));
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first != std::string_view::npos) {
            const std::size_t last = line.find_last_not_of(" \t\r");
            ports.emplace_back(line.substr(first, last - first + 1));
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return ports;
}

PortListFile readPortListFile(const std::string& path) {
    PortListFile result;
    FileStatus status;
    auto file = ReadableFile::open(path, status);
    if (!file) {
        result.error = "Cannot read the port list " + path + ": " + status.reason;
        return result;
    }
    // A list of ports is a few hundred bytes; a huge file is the wrong file.
    constexpr std::uint64_t largest = 1 << 20;
    if (file->size() > largest) {
        result.error = "Cannot read the port list " + path + ": the file is larger than 1 MiB";
        return result;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file->size()));
    if (status = file->readAll(bytes); !status.ok) {
        result.error = "Cannot read the port list " + path + ": " + status.reason;
        return result;
    }
    result.ports = portsOfListText(std::string(bytes.begin(), bytes.end()));
    return result;
}

} // namespace orvane
