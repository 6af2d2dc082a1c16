// Matching and naming of the steps at which the virtual camera misbehaves.
#include "sim/camera_faults.h"

#include <charconv>

namespace orvane {

bool stepMatches(const std::optional<StepRef>& ref, CameraStep step, std::uint32_t block) {
    if (!ref) {
        return false;
    }
    if (ref->step == CameraStep::Any) {
        return true;
    }
    if (ref->step != step) {
        return false;
    }
    return step != CameraStep::Block || ref->block == 0 || ref->block == block;
}

std::optional<StepRef> stepRefFromText(std::string_view text) {
    static constexpr std::pair<std::string_view, CameraStep> names[] = {
        {"enter", CameraStep::Enter}, {"start", CameraStep::Start}, {"header", CameraStep::Header},
        {"block", CameraStep::Block}, {"end", CameraStep::End},     {"any", CameraStep::Any},
    };
    for (const auto& [name, step] : names) {
        if (text == name) {
            return StepRef{step, 0};
        }
    }
    constexpr std::string_view blockPrefix = "block:";
    if (text.substr(0, blockPrefix.size()) != blockPrefix) {
        return std::nullopt;
    }
    const std::string_view digits = text.substr(blockPrefix.size());
    std::uint32_t block = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), block);
    if (ec != std::errc{} || end != digits.data() + digits.size() || block == 0) {
        return std::nullopt;
    }
    return StepRef{CameraStep::Block, block};
}

} // namespace orvane
