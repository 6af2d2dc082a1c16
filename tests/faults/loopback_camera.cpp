#include "loopback_camera.h"

#include "sim/camera_faults.h"

#include <algorithm>

namespace orvane::testing {

LoopbackCamera::LoopbackCamera(ReplyFlags& flags, FakeClock& clock, CameraFaults faults, LineFaults line)
    : flags_(flags), clock_(clock), line_(line),
      boot_(BootLoaderSettings{.strict = true}, std::move(faults)) {
    // The receiver reads once per pause of the job, and not at all while the port is closed.
    // Reading as bytes come (low latency), it takes each read as soon as it is there instead.
    clock_.onSleep([this](std::chrono::milliseconds) {
        if (readMode() == ReadMode::Standard) {
            receiverPass();
        }
    });
}

std::vector<HostFrameKind> LoopbackCamera::kinds() const {
    std::vector<HostFrameKind> out;
    for (const auto& frame : written_) {
        out.push_back(frame.kind);
    }
    return out;
}

int LoopbackCamera::openPort(std::string_view, int, int, int, int) {
    open_ = true;
    return 1;
}

int LoopbackCamera::closePort() {
    open_ = false;
    return 1;
}

int LoopbackCamera::readPort(std::span<std::uint8_t>) {
    return 0; // the receiver's reads are modelled in receiverPass
}

int LoopbackCamera::writePort(std::span<const std::uint8_t> bytes) {
    if (!open_) {
        return 0;
    }
    std::vector<HostFrame> frames;
    // On the job's clock: the strict boot loader holds the job to its pauses in virtual time.
    reader_.feed(bytes, clock_.now(), frames);
    for (const HostFrame& frame : frames) {
        WrittenFrame record{frame.kind, 0, frame.bytes, clock_.elapsed()};
        if (frame.kind == HostFrameKind::Block && frame.bytes.size() >= 4) {
            record.block = std::uint32_t{frame.bytes[2]} << 8 | frame.bytes[3];
        }
        written_.push_back(record);
        if (onFrame) {
            onFrame(record);
        }
        answer(boot_.onFrame(frame));
    }
    return static_cast<int>(bytes.size());
}

void LoopbackCamera::answer(const CameraAnswer& answer) {
    if (answer.verdict) {
        verdict_ = answer.verdict;
    }
    if (!answer.reply || !answer.step) {
        return;
    }
    const CameraStep step = *answer.step;
    const std::size_t queued = pendingReads_.size();
    Bytes noise;
    for (std::uint32_t i = 0; i < line_.noiseBytes; ++i) {
        const auto byte = static_cast<std::uint8_t>(i * 37 + 1);
        noise.push_back(byte == frameStart ? 0x00 : byte);
    }
    Bytes bytes = noise;
    if (stepMatches(line_.strayStartAt, step, answer.block)) {
        bytes.push_back(frameStart);
    }
    if (stepMatches(line_.abortBeforeReplyAt, step, answer.block)) {
        pendingReads_.emplace_back(abortReply.begin(), abortReply.end());
    }
    const ShortFrame& reply = stepMatches(line_.abortAt, step, answer.block) ? abortReply : *answer.reply;
    bytes.insert(bytes.end(), reply.begin(), reply.end());

    const std::size_t parts = std::max<std::size_t>(1, line_.splitParts);
    const std::size_t size = (bytes.size() + parts - 1) / parts;
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + size));
        pendingReads_.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at), end);
    }
    if (line_.noiseReadsBetween && !noise.empty()) {
        pendingReads_.push_back(noise);
    }
    if (readMode() == ReadMode::LowLatency) {
        for (std::size_t n = queued; n < pendingReads_.size(); ++n) {
            clock_.after(std::chrono::milliseconds{0}, [this] { receiverPass(); });
        }
    }
}

void LoopbackCamera::receiverPass() {
    if (!open_) {
        return;
    }
    ++reads_;
    Bytes read;
    if (!pendingReads_.empty()) {
        read = std::move(pendingReads_.front());
        pendingReads_.pop_front();
    }
    if (receiveBytes(assembly_, read, flags_) != Reply::None) {
        flags_.raised.ring();
    }
}

} // namespace orvane::testing
