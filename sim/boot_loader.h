// The camera's side of the upgrade exchange as a pure state machine: one received frame
// in, the camera's answer out (reply, speed change, end-of-upgrade verdict). Pacing and the
// line itself belong to the cameras that work a line; this part only decides. Strict, it also
// holds the host to its pauses (sim/strict_timing.h), judged from the frames' times and the
// moments its replies went out, so a fake time serves as well as the real one.
#pragma once

#include "sim/camera_faults.h"
#include "sim/host_frame.h"
#include "upgrade/frames.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What the camera holds when an upgrade ends, and whether it is what was announced.
struct UpgradeVerdict {
    UpgradeTarget target = UpgradeTarget::MainBoard;
    std::uint32_t announcedLength = 0; // from the SizeHeader
    std::uint16_t announcedBlocks = 0; // as the SizeHeader gave it (one more than sent for multiples of 1024)
    std::uint32_t blocksReceived = 0;
    std::vector<std::uint8_t> image; // received data, cut to the announced length (filler stripped)
    bool finished = false;           // the EndFrame was accepted; false when the upgrade was given up
    bool matches = false;            // finished, every block there, only 0x1A filler past the length
    std::string summary;
};

enum class BootState : std::uint8_t { Application, AwaitingStart, AwaitingHeader, Receiving };

struct CameraAnswer {
    std::optional<CameraStep> step; // the upgrade step the frame took part in, if any
    std::uint32_t block = 0;        // DataBlocks: the block's number
    std::optional<ShortFrame> reply;
    std::string note;                    // why the camera did what it did, when that is not plain
    std::optional<int> speedBeforeReply; // the camera's new line speed, taken before it replies
    std::optional<int> speedAfterReply;  // ... or once the reply is out
    std::optional<UpgradeVerdict> verdict;
};

struct BootLoaderSettings {
    std::uint8_t address = 1;
    int lineSpeed = 9600;
    int upgradeSpeed = 9600;
    // A real boot loader's rules: a frame sooner than the host's pause before it goes unheard,
    // and an EndFrame is not answered before every block of the announced length is in.
    bool strict = false;
};

inline constexpr int specialTargetSpeed = 115200;

class BootLoader {
  public:
    explicit BootLoader(BootLoaderSettings settings, CameraFaults faults = {});

    CameraAnswer onFrame(const HostFrame& frame);
    // When the reply to the last frame went out (or was lost on the line), if later than that
    // frame's time: the host's pauses are counted from it.
    void noteReplyOut(SimTime at);
    void setFaults(CameraFaults faults);
    // Back to the running application at the line speed, as after switching the camera off
    // and on. The verdict of an unfinished transfer is answered, if one was under way.
    std::optional<UpgradeVerdict> powerCycle();

    BootState state() const { return state_; }
    int speed() const { return speed_; }

  private:
    CameraAnswer decide(const HostFrame& frame);
    bool heardTooSoon(const HostFrame& frame, CameraAnswer& answer) const;
    CameraAnswer onEnter(const HostFrame& frame);
    CameraAnswer onStart(const HostFrame& frame);
    CameraAnswer onHeader(const HostFrame& frame);
    CameraAnswer onBlock(const HostFrame& frame);
    CameraAnswer onEnd();
    CameraAnswer onAbort();
    bool silent(CameraStep step, std::uint32_t block, CameraAnswer& answer) const;
    UpgradeVerdict verdict(bool finished, const std::string& ending) const;
    void backToApplication(CameraAnswer& answer);

    BootLoaderSettings settings_;
    CameraFaults faults_;
    BootState state_ = BootState::Application;
    int speed_;
    std::uint8_t enterCode_ = 0;
    UpgradeTarget target_ = UpgradeTarget::MainBoard;
    std::uint32_t length_ = 0;
    std::uint16_t announcedBlocks_ = 0;
    std::uint32_t nextBlock_ = 1;
    std::uint32_t blocksSeen_ = 0; // DataBlock frames of this transfer, re-sent ones included
    std::map<std::uint32_t, std::uint32_t> naksGiven_;
    std::vector<std::uint8_t> data_;
    std::optional<SimTime> lastReplyAt_;
};

} // namespace orvane
