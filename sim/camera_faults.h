// Misbehaviour the virtual camera shows on request, so that the host's handling of every
// fault can be tested and demonstrated without breaking a real camera.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

namespace orvane {

// The steps of the exchange, each named after the host frame the camera answers.
enum class CameraStep : std::uint8_t {
    Enter,  // EnterUpgradeCommand -> EnterAck
    Start,  // StartCommand -> HeaderRequest
    Header, // SizeHeader -> BlockAck
    Block,  // DataBlock -> BlockAck / BlockNak
    End,    // EndFrame -> BlockAck
    Any,    // every step
};

// One step, or with Block one block (block 0: every block). Block numbers count from 1
// as the host numbers them.
struct StepRef {
    CameraStep step = CameraStep::Any;
    std::uint32_t block = 0;
};

bool stepMatches(const std::optional<StepRef>& ref, CameraStep step, std::uint32_t block);

// Reads a step as a user names it: "enter", "start", "header", "block" (every block),
// "block:N" (N from 1), "end" or "any". nullopt for anything else.
std::optional<StepRef> stepRefFromText(std::string_view text);

struct CameraFaults {
    // The camera neither answers nor acts on the frame of this step (every time it comes).
    std::optional<StepRef> silentAt;
    // Block number -> how many times that block is refused with BlockNak before it is taken.
    std::map<std::uint32_t, std::uint32_t> nakBlocks;
    // Every k-th DataBlock received (re-sent ones included) is refused; 0 = never.
    std::uint32_t nakEvery = 0;
    // The camera gives up with an AbortFrame instead of answering this block.
    std::optional<std::uint32_t> abortAtBlock;
    // Bytes without 0xA5 written in front of every reply.
    std::uint32_t noiseBytes = 0;
    // A stray 0xA5 in front of the reply to this step.
    std::optional<StepRef> strayStartAt;
    // Replies written in this many pieces (1 = whole), with a gap after each but the last.
    std::uint32_t splitParts = 1;
    std::chrono::milliseconds splitGap{20};
    // Replies to this step carry a wrong check byte.
    std::optional<StepRef> wrongCheckAt;
    // The device disappears when this block arrives (the host sees a hang-up) and, when
    // returnAfter is set, comes back as a new pseudo-terminal that long afterwards.
    std::optional<std::uint32_t> vanishAtBlock;
    std::optional<std::chrono::milliseconds> returnAfter;
};

} // namespace orvane
