// What a reply becomes on its way to the host when the camera is asked to misbehave: noise
// in front, a stray 0xA5, a wrong check byte, every bit turned when host and camera talk at
// different speeds, and the pieces it is written in. Pure, so that each fault can be checked
// byte for byte; the line thread only writes the pieces out.
#pragma once

#include "sim/camera_faults.h"
#include "upgrade/frames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The noise the camera puts in front of replies: a fixed pseudo-random series, never 0xA5
// (nor 0x5A, which a garbled line would turn into 0xA5), so the host has to skip it.
class ReplyNoise {
  public:
    explicit ReplyNoise(std::uint32_t seed = 0x2545F491u) : state_(seed) {}
    std::uint8_t next();

  private:
    std::uint32_t state_;
};

// Host and camera at different line speeds while the camera replies.
struct SpeedMismatch {
    int hostSpeed = 0;
    int cameraSpeed = 0;
};

struct ShapedReply {
    std::vector<std::uint8_t> bytes; // all the host gets, in order
    // How many bytes each write carries; they add up to bytes.size(). The camera pauses
    // for the split gap after every piece but the last.
    std::vector<std::size_t> pieces;
    std::string name; // "BlockAck after a stray 0xA5 in 3 pieces", for the live view
};

// "EnterAck", "BlockNak", ...
std::string replyName(const ShortFrame& reply);

// The reply to the given step (block: the block's number) as the faults shape it.
ShapedReply shapeReply(const ShortFrame& reply, CameraStep step, std::uint32_t block,
                       const CameraFaults& faults, const std::optional<SpeedMismatch>& mismatch,
                       ReplyNoise& noise);

} // namespace orvane
