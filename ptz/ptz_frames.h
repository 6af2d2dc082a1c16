// Pelco-D test frames for the dialog's PTZ buttons: fixed address 1 and fixed speed 0x1E,
// so a technician can check that the camera pans, tilts, zooms and focuses.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace orvane {

using PtzFrame = std::array<std::uint8_t, 7>;

enum class PtzButton : std::uint8_t { Left, Right, Up, Down, Home, Stop, Tele, Wide, Near, Far };

inline constexpr std::uint8_t ptzAddress = 0x01;
inline constexpr std::uint8_t ptzSpeed = 0x1E;

// Pelco-D: FF, address, command 1, command 2, pan speed, tilt speed, and a checksum that is
// the sum of everything after the FF sync byte, modulo 256.
constexpr PtzFrame makePtzFrame(std::uint8_t command1, std::uint8_t command2, std::uint8_t panSpeed,
                                std::uint8_t tiltSpeed) {
    const auto sum = static_cast<std::uint8_t>(ptzAddress + command1 + command2 + panSpeed + tiltSpeed);
    return {0xFF, ptzAddress, command1, command2, panSpeed, tiltSpeed, sum};
}

// STOP clears every command bit; it is a constant of the tool.
inline constexpr PtzFrame ptzStopFrame{0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01};

// The frame a button sends; HOME sends nothing.
std::optional<PtzFrame> ptzFrameOf(PtzButton button);

// "left", "right", ... "far" as the command line spells them; nullopt for anything else.
std::optional<PtzButton> ptzButtonNamed(std::string_view name);
std::string_view ptzButtonName(PtzButton button);

// Whatever puts bytes on the line: the serial port in the applications, a recorder in tests.
using PtzWriter = std::function<void(std::span<const std::uint8_t>)>;

// A button's operation: one frame through the writer, nothing awaited, nothing reported.
void pressPtzButton(PtzButton button, const PtzWriter& write);

} // namespace orvane
