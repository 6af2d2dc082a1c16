// The virtual camera's strict boot loader behind a port that lives on the job's fake clock, with the
// real reply assembly in place of the receiver thread: every frame the job writes goes through
// the camera's frame reader and boot loader, and the camera's answer comes back as bytes that
// the assembly takes apart, one read per pause of the job (in ReadMode::LowLatency, each read
// as soon as the camera has answered, on the fake clock's events). So a fault matrix about time runs
// in microseconds, yet every reply passes the same byte-level rules as on a real line.
#pragma once

#include "serial/serial_link.h"
#include "sim/boot_loader.h"
#include "sim/frame_reader.h"
#include "support/fake_clock.h"
#include "upgrade/reply_assembly.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane::testing {

using Bytes = std::vector<std::uint8_t>;

// What happens to the camera's replies on the way back.
struct LineFaults {
    std::uint32_t noiseBytes = 0;              // bytes without 0xA5 in front of every reply, same read
    bool noiseReadsBetween = false;            // and a read of such bytes alone after every reply
    std::uint32_t splitParts = 1;              // every reply spread over this many reads
    std::optional<StepRef> strayStartAt;       // a stray 0xA5 in front of the reply to this step
    std::optional<StepRef> abortAt;            // the camera's AbortFrame instead of its reply here
    std::optional<StepRef> abortBeforeReplyAt; // the AbortFrame, then the reply in the next read
};

struct WrittenFrame {
    HostFrameKind kind = HostFrameKind::Unrecognised;
    std::uint32_t block = 0; // DataBlocks: the number on the wire
    Bytes bytes;
    std::chrono::milliseconds at{0}; // the fake clock when it was written
};

class LoopbackCamera final : public SerialLink {
  public:
    LoopbackCamera(ReplyFlags& flags, FakeClock& clock, CameraFaults faults = {}, LineFaults line = {});

    // Called for each frame the camera receives, before it answers (a test's cancel button).
    std::function<void(const WrittenFrame&)> onFrame;

    std::vector<WrittenFrame> written() const { return written_; }
    std::vector<HostFrameKind> kinds() const;
    const BootLoader& bootLoader() const { return boot_; }
    std::optional<UpgradeVerdict> verdict() const { return verdict_; }
    long reads() const { return reads_; }

    int openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) override;
    int closePort() override;
    int writePort(std::span<const std::uint8_t> bytes) override;
    int readPort(std::span<std::uint8_t> buffer) override;
    bool isOpen() const override { return open_; }
    int lastError() const override { return 0; }

  private:
    void answer(const CameraAnswer& answer);
    void queueReply(const ShortFrame& reply);
    void receiverPass();

    ReplyFlags& flags_;
    FakeClock& clock_;
    LineFaults line_;
    BootLoader boot_;
    FrameReader reader_;
    ReplyAssembly assembly_;
    std::deque<Bytes> pendingReads_;
    std::vector<WrittenFrame> written_;
    std::optional<UpgradeVerdict> verdict_;
    bool open_ = false;
    long reads_ = 0;
};

} // namespace orvane::testing
