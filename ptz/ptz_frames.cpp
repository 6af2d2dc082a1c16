#include "ptz/ptz_frames.h"

namespace orvane {
namespace {

// Pelco-D command 2 bits; focus near is the one command that lives in command 1.
constexpr std::uint8_t panRight = 0x02;
constexpr std::uint8_t panLeft = 0x04;
constexpr std::uint8_t tiltUp = 0x08;
constexpr std::uint8_t tiltDown = 0x10;
constexpr std::uint8_t zoomTele = 0x20;
constexpr std::uint8_t zoomWide = 0x40;
constexpr std::uint8_t focusFar = 0x80;
constexpr std::uint8_t focusNear = 0x01;

struct NamedButton {
    std::string_view name;
    PtzButton button;
};

constexpr std::array<NamedButton, 10> buttonNames{{{"left", PtzButton::Left},
                                                   {"right", PtzButton::Right},
                                                   {"up", PtzButton::Up},
                                                   {"down", PtzButton::Down},
                                                   {"home", PtzButton::Home},
                                                   {"stop", PtzButton::Stop},
                                                   {"tele", PtzButton::Tele},
                                                   {"wide", PtzButton::Wide},
                                                   {"near", PtzButton::Near},
                                                   {"far", PtzButton::Far}}};

} // namespace

std::optional<PtzFrame> ptzFrameOf(PtzButton button) {
    switch (button) {
    case PtzButton::Left:
        return makePtzFrame(0x00, panLeft, ptzSpeed, 0x00);
    case PtzButton::Right:
        return makePtzFrame(0x00, panRight, ptzSpeed, 0x00);
    case PtzButton::Up:
        return makePtzFrame(0x00, tiltUp, 0x00, ptzSpeed);
    case PtzButton::Down:
        return makePtzFrame(0x00, tiltDown, 0x00, ptzSpeed);
    case PtzButton::Stop:
        return ptzStopFrame;
    case PtzButton::Tele:
        return makePtzFrame(0x00, zoomTele, 0x00, 0x00);
    case PtzButton::Wide:
        return makePtzFrame(0x00, zoomWide, 0x00, 0x00);
    case PtzButton::Near:
        return makePtzFrame(focusNear, 0x00, 0x00, 0x00);
    case PtzButton::Far:
        return makePtzFrame(0x00, focusFar, 0x00, 0x00);
    case PtzButton::Home:
        break;
    }
    return std::nullopt;
}

std::optional<PtzButton> ptzButtonNamed(std::string_view name) {
    for (const auto& entry : buttonNames) {
        if (entry.name == name) {
            return entry.button;
        }
    }
    return std::nullopt;
}

std::string_view ptzButtonName(PtzButton button) {
    for (const auto& entry : buttonNames) {
        if (entry.button == button) {
            return entry.name;
        }
    }
    return {};
}

void pressPtzButton(PtzButton button, const PtzWriter& write) {
    if (const auto frame = ptzFrameOf(button)) {
        write(*frame);
    }
}

} // namespace orvane
