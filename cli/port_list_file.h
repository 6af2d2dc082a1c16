// A station's list of ports in a file, for `upgrade --ports-from`: one port a line, blank
// lines and everything from '#' on ignored, spaces around a name too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct PortListFile {
    std::vector<std::string> ports;
    std::string error; // the file could not be read: its path and the system's reason
};

std::vector<std::string> portsOfListText(std::string_view text);
PortListFile readPortListFile(const std::string& path);

} // namespace orvane
