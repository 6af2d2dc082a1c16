// The virtual camera on an in-memory line: the boot loader, frame reader and reply shaping of
// the pseudo-terminal camera, worked by a thread of its own, so the whole upgrade runs where
// there is no pseudo-terminal (Windows, the dialog logic's tests). The host opens link() as it
// would a port. Host and camera must agree on the line speed: a frame written at another
// speed arrives garbled, and a reply waits for the host to switch before it goes out.
#pragma once

#include "sim/boot_loader.h"
#include "sim/camera_record.h"
#include "sim/frame_reader.h"
#include "sim/memory_line.h"
#include "sim/reply_shaping.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace orvane {

struct MemoryCameraOptions {
    std::uint8_t address = 1;
    int lineSpeed = 9600;    // the camera's speed while its application runs
    int upgradeSpeed = 9600; // its speed from the EnterUpgradeCommand on
    bool pacing = false;     // bytes take 10 bits each at the line's speed, both ways
    // How long the camera waits for the host to switch before it answers anyway.
    std::chrono::milliseconds switchWait{1000};
    // An unfinished frame is given up after this long without a byte.
    std::chrono::milliseconds frameGap{200};
    // As unforgiving as a real boot loader (sim/strict_timing.h): replies do not wait for the
    // host beyond a moment, they and what the host left unread are lost while its port is closed,
    // a StartCommand sooner than the host's pause after the EnterAck goes unheard, and an
    // EndFrame before every block is not answered.
    bool strict = false;
};

class MemoryCamera {
  public:
    // The camera is running once made.
    explicit MemoryCamera(MemoryCameraOptions options = {});
    MemoryCamera(const MemoryCamera&) = delete;
    MemoryCamera& operator=(const MemoryCamera&) = delete;
    ~MemoryCamera();

    SerialLink& link() { return line_; }
    // Ends the camera's thread; the host's reads and opens find the line gone.
    void stop();

    std::vector<HostFrame> receivedFrames() const { return record_.frames(); }
    std::vector<HostFrame> receivedFrames(HostFrameKind kind) const { return record_.frames(kind); }
    std::optional<UpgradeVerdict> lastVerdict() const { return record_.verdict(); }
    std::optional<UpgradeVerdict> waitForVerdict(std::chrono::milliseconds timeout) const {
        return record_.waitForVerdict(timeout);
    }
    int cameraSpeed() const { return cameraSpeed_.load(); }

  private:
    void run();
    void handleFrame(HostFrame frame, int sentAt);
    void deliver(const ShortFrame& reply, CameraStep step, std::uint32_t block, SimTime frameIn);

    const MemoryCameraOptions options_;
    MemoryLine line_;
    BootLoader boot_;
    FrameReader reader_;
    ReplyNoise noise_;
    CameraRecord record_;
    std::atomic<int> cameraSpeed_;
    std::thread thread_; // last: it starts once the rest is there
};

} // namespace orvane
