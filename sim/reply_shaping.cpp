// Reply faults; see reply_shaping.h.
#include "sim/reply_shaping.h"

#include "sim/speed_model.h"

#include <algorithm>

namespace orvane {

std::uint8_t ReplyNoise::next() {
    std::uint8_t b = 0;
    do {
        state_ = state_ * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state_ >> 24);
    } while (b == frameStart || b == 0x5A);
    return b;
}

std::string replyName(const ShortFrame& reply) {
    if (reply == enterAckReply)
        return "EnterAck";
    if (reply == headerRequestReply)
        return "HeaderRequest";
    if (reply == blockAckReply)
        return "BlockAck";
    if (reply == blockNakReply)
        return "BlockNak";
    if (reply == abortReply)
        return "AbortFrame";
    return "reply";
}

ShapedReply shapeReply(const ShortFrame& reply, CameraStep step, std::uint32_t block,
                       const CameraFaults& faults, const std::optional<SpeedMismatch>& mismatch,
                       ReplyNoise& noise) {
    ShapedReply shaped;
    shaped.name = replyName(reply);
    auto& bytes = shaped.bytes;
    for (std::uint32_t i = 0; i < faults.noiseBytes; ++i) {
        bytes.push_back(noise.next());
    }
    if (faults.noiseBytes > 0) {
        shaped.name += " after " + std::to_string(faults.noiseBytes) + " noise bytes";
    }
    if (stepMatches(faults.strayStartAt, step, block)) {
        bytes.push_back(frameStart);
        shaped.name += " after a stray 0xA5";
    }
    ShortFrame frame = reply;
    if (stepMatches(faults.wrongCheckAt, step, block)) {
        frame[3] ^= 0x01;
        shaped.name += " with a wrong check byte";
    }
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    if (mismatch) {
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(~b);
        }
        shaped.name += ", garbled: the host listens at " + speedText(mismatch->hostSpeed) +
                       ", the camera sends at " + speedText(mismatch->cameraSpeed);
    }
    const std::size_t parts = std::clamp<std::size_t>(faults.splitParts, 1, bytes.size());
    if (parts > 1) {
        shaped.name += " in " + std::to_string(parts) + " pieces";
    }
    std::size_t done = 0;
    for (std::size_t part = 0; part < parts; ++part) {
        const std::size_t size = (bytes.size() - done) / (parts - part);
        shaped.pieces.push_back(size);
        done += size;
    }
    return shaped;
}

} // namespace orvane
