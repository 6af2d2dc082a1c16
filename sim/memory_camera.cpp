#include "sim/memory_camera.h"

#include "sim/strict_timing.h"

#include <algorithm>

namespace orvane {
namespace {

// How often the camera looks at an unfinished frame and at whether it is to stop.
constexpr std::chrono::milliseconds idleTick{50};

} // namespace

MemoryCamera::MemoryCamera(MemoryCameraOptions options)
    : options_(options), line_(options.pacing, options.strict),
      boot_({options.address, options.lineSpeed, options.upgradeSpeed, options.strict}),
      reader_(options.frameGap), cameraSpeed_(options.lineSpeed), thread_([this] { run(); }) {}

MemoryCamera::~MemoryCamera() {
    stop();
}

void MemoryCamera::stop() {
    line_.shut();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void MemoryCamera::run() {
    std::vector<HostFrame> frames;
    int lastSpeed = 0;
    while (!line_.isShut()) {
        SimTime wakeAt = SimClock::now() + idleTick;
        if (const auto d = reader_.deadline()) {
            wakeAt = std::min(wakeAt, *d);
        }
        for (const LineChunk& chunk : line_.takeFromHost(wakeAt)) {
            frames.clear();
            reader_.feed(chunk.bytes, SimClock::now(), frames);
            lastSpeed = chunk.speed;
            for (auto& frame : frames) {
                handleFrame(std::move(frame), chunk.speed);
            }
        }
        frames.clear();
        reader_.expire(SimClock::now(), frames);
        for (auto& frame : frames) {
            handleFrame(std::move(frame), lastSpeed);
        }
    }
}

// A frame whose last byte went out at another speed than the camera listens at is garbage
// to it, as on a real line.
void MemoryCamera::handleFrame(HostFrame frame, int sentAt) {
    if (frame.kind != HostFrameKind::Unrecognised && sentAt != cameraSpeed_.load()) {
        frame.kind = HostFrameKind::Garbled;
    }
    CameraAnswer answer = boot_.onFrame(frame);
    const SimTime frameIn = frame.time;
    record_.add(std::move(frame));
    if (answer.speedBeforeReply) {
        cameraSpeed_ = *answer.speedBeforeReply;
    }
    if (answer.reply) {
        deliver(*answer.reply, answer.step.value_or(CameraStep::Any), answer.block, frameIn);
    }
    if (answer.speedAfterReply) {
        cameraSpeed_ = *answer.speedAfterReply;
    }
    if (answer.verdict) {
        record_.setVerdict(std::move(*answer.verdict));
    }
}

// The host switches its port after it has written; the reply waits for that (strict: from the
// step's turnaround to the latest a real boot loader answers), and goes out garbled if the host
// still listens at another speed, or is lost if its port is closed on a strict line.
void MemoryCamera::deliver(const ShortFrame& reply, CameraStep step, std::uint32_t block, SimTime frameIn) {
    const int speed = cameraSpeed_.load();
    SimTime giveUp = SimClock::now() + options_.switchWait;
    if (options_.strict) {
        line_.idleUntil(frameIn + strictTurnaround(step));
        giveUp = std::max(SimClock::now(), frameIn + strictLatestReply);
    }
    line_.waitForHostAt(speed, giveUp);
    const int host = line_.hostSpeed();
    std::optional<SpeedMismatch> mismatch;
    if (host != 0 && host != speed) {
        mismatch = SpeedMismatch{host, speed};
    }
    const ShapedReply shaped = shapeReply(reply, step, block, CameraFaults{}, mismatch, noise_);
    line_.sendToHost(shaped.bytes, speed);
    boot_.noteReplyOut(SimClock::now());
}

} // namespace orvane
