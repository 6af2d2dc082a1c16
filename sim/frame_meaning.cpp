// Readable names for what the camera received, for the command line's live view and for
// test failure messages.
#include "sim/host_frame.h"
#include "upgrade/frames.h"

#include <cstdio>

namespace orvane {
namespace {

std::string byteText(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string enterCodeText(std::uint8_t code) {
    switch (code) {
    case 0xAA:
        return "main board or special target";
    case 0x55:
        return "motor board";
    default:
        return "unknown board code " + byteText(code);
    }
}

std::string startCodeText(std::uint8_t code) {
    switch (code) {
    case 0xAA:
        return "main board";
    case 0x55:
        return "motor board";
    case 0xA9:
        return "special target";
    default:
        return "unknown start code " + byteText(code);
    }
}

// Pelco-D: command 1 bit 0 focus near; command 2 bits right, left, up, down, tele, wide, far.
std::string ptzText(const std::vector<std::uint8_t>& b) {
    std::string what;
    auto add = [&what](const char* action) {
        if (!what.empty()) {
            what += " + ";
        }
        what += action;
    };
    const std::uint8_t c1 = b[2];
    const std::uint8_t c2 = b[3];
    if ((c2 & 0x02) != 0)
        add("pan right");
    if ((c2 & 0x04) != 0)
        add("pan left");
    if ((c2 & 0x08) != 0)
        add("tilt up");
    if ((c2 & 0x10) != 0)
        add("tilt down");
    if ((c2 & 0x20) != 0)
        add("zoom tele");
    if ((c2 & 0x40) != 0)
        add("zoom wide");
    if ((c2 & 0x80) != 0)
        add("focus far");
    if ((c1 & 0x01) != 0)
        add("focus near");
    if (what.empty()) {
        what = (c1 == 0 && c2 == 0) ? "stop" : "command " + byteText(c1) + " " + byteText(c2);
    }
    std::string text = "PTZ " + what + " (address " + std::to_string(b[1]);
    if ((c2 & 0x06) != 0)
        text += ", pan speed " + std::to_string(b[4]);
    if ((c2 & 0x18) != 0)
        text += ", tilt speed " + std::to_string(b[5]);
    return text + ")";
}

} // namespace

std::string hexOf(const std::vector<std::uint8_t>& bytes, std::size_t limit) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const std::size_t shown = (limit == 0 || bytes.size() <= limit) ? bytes.size() : limit;
    std::string text;
    text.reserve(shown * 3 + 24);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i != 0) {
            text += ' ';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    if (shown < bytes.size()) {
        text += " ... (" + std::to_string(bytes.size()) + " bytes)";
    }
    return text;
}

std::string meaningOf(const HostFrame& frame) {
    const auto& b = frame.bytes;
    switch (frame.kind) {
    case HostFrameKind::EnterUpgrade:
        return "EnterUpgradeCommand for address " + std::to_string(b[1]) + ", " + enterCodeText(b[4]);
    case HostFrameKind::Start:
        return "StartCommand, " + startCodeText(b[2]);
    case HostFrameKind::Header: {
        std::string text = "SizeHeader, " + std::to_string(bigEndian(b, 4, 4)) + " bytes in " +
                           std::to_string(bigEndian(b, 2, 2)) + " blocks";
        return frame.intact ? text : text + " (damaged: check byte or fixed byte wrong)";
    }
    case HostFrameKind::Block: {
        if (b.size() < 4) {
            return "DataBlock cut off after " + std::to_string(b.size()) + " bytes";
        }
        std::string text = "DataBlock " + std::to_string(bigEndian(b, 2, 2));
        if (b.size() != 4 + blockDataSize + 2) {
            return text + " (cut off: " + std::to_string(b.size()) + " of 1030 bytes)";
        }
        return frame.intact ? text : text + " (damaged: check byte or end byte wrong)";
    }
    case HostFrameKind::End:
        return "EndFrame";
    case HostFrameKind::Abort:
        return "AbortFrame";
    case HostFrameKind::Ptz:
        return ptzText(b);
    case HostFrameKind::Unrecognised:
        return "unrecognised bytes";
    case HostFrameKind::Garbled:
        return "garbled (sent at a line speed other than the camera's)";
    }
    return "unknown";
}

} // namespace orvane
