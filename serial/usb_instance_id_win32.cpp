#include "serial/usb_instance_id.h"

namespace orvane {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

// FTDI's bus driver: the third '+' field of the middle part, less its channel letter.
std::optional<std::string> ftdiSerial(std::string_view id) {
    const std::size_t middleEnd = id.find('\\', 8);
    const std::string_view middle =
        id.substr(8, middleEnd == std::string_view::npos ? id.npos : middleEnd - 8);
    const std::size_t second = middle.find('+', middle.find('+') + 1);
    if (middle.find('+') == std::string_view::npos || second == std::string_view::npos ||
        middle.size() - second < 3) {
        return std::nullopt;
    }
    const std::string_view withChannel = middle.substr(second + 1);
    const char channel = withChannel.back();
    if (channel < 'A' || channel > 'D') {
        return std::nullopt;
    }
    return std::string(withChannel.substr(0, withChannel.size() - 1));
}

} // namespace

std::optional<std::string> usbSerialOfInstanceId(std::string_view instanceId) {
    if (startsWithNoCase(instanceId, "FTDIBUS\\")) {
        return ftdiSerial(instanceId);
    }
    if (!startsWithNoCase(instanceId, "USB\\")) {
        return std::nullopt;
    }
    const std::size_t last = instanceId.rfind('\\');
    const std::string_view tail = instanceId.substr(last + 1);
    // The interface of a composite device ("&MI_00") and a made-up number carry an '&'.
    if (last < 4 || tail.empty() || tail.find('&') != std::string_view::npos ||
        instanceId.substr(0, last).find("&MI_") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(tail);
}

} // namespace orvane
