// The virtual camera: a camera's boot loader and PTZ receiver on a pseudo-terminal, so that
// upgrades, PTZ commands and every fault can be exercised without hardware. One thread
// works the line (virtual_camera_line.cpp); the frame reader, the speed model and the boot loader
// decide, the reply shaping adds the faults, the device comes and goes with its link.
//
// Usage: fill VirtualCameraOptions, start(), point the host at portPath(), and read what
// the camera received with receivedFrames() and the end of an upgrade with lastVerdict()
// or the onVerdict callback. stop() (or the destructor) ends the thread at once.
#pragma once

#include "sim/boot_loader.h"
#include "sim/camera_device.h"
#include "sim/camera_faults.h"
#include "sim/camera_record.h"
#include "sim/frame_reader.h"
#include "sim/host_frame.h"
#include "sim/line_pacer.h"
#include "sim/reply_shaping.h"
#include "sim/speed_model.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace orvane {

// Something the camera did or saw, for a live view such as the command line's.
struct CameraEvent {
    enum class Kind : std::uint8_t {
        Received, // a frame (or loose bytes) from the host; text is its meaning
        Replied,  // bytes the camera wrote; text names the reply
        Note,     // speed changes, the device vanishing and returning, waits
    };
    Kind kind = Kind::Note;
    SimTime time{};
    HostFrameKind frameKind = HostFrameKind::Unrecognised; // Received only
    std::vector<std::uint8_t> bytes;
    std::string text;
};

struct VirtualCameraOptions {
    std::uint8_t address = 1;
    int lineSpeed = 9600;    // the camera's speed while its application runs
    int upgradeSpeed = 9600; // its speed from the EnterUpgradeCommand on
    // When set, a symbolic link at this path points at the device (and follows it when
    // the device comes back as a new pseudo-terminal). Whatever is already there is left
    // alone and start() fails, unless it is a link at a pseudo-terminal that no longer exists.
    std::string linkPath;
    // Bytes take 10 bits each at the camera's speed, in both directions.
    bool pacing = false;
    // The camera's processing time: a reply goes out this long after the last byte of its
    // frame is in (at the earliest), and for DataBlocks the flash time on top.
    std::chrono::milliseconds replyDelay{0};
    std::chrono::milliseconds flashTime{0}; // per accepted or refused DataBlock
    // Host and camera must agree on the line speed, or frames arrive as garbage.
    bool modelSpeed = true;
    std::chrono::milliseconds speedGrace{100};
    // How long the camera waits for the host to switch before it answers anyway.
    std::chrono::milliseconds switchWait{1000};
    // As unforgiving as a real boot loader (sim/strict_timing.h): replies do not wait for the
    // host beyond a moment and are lost while its port is closed, a StartCommand sooner than the
    // host's pause after the EnterAck goes unheard, and an EndFrame before every block is not
    // answered. What the host left unread goes when it closes its port, once the camera has seen
    // the close (a host that reads again within microseconds of it may still find it).
    bool strict = false;
    // An unfinished frame is given up after this long without a byte.
    std::chrono::milliseconds frameGap{200};
    // A boot loader that hears nothing of its host for this long restarts the application
    // (0: it waits for ever). Longer than every time limit of the host.
    std::chrono::milliseconds bootTimeout{15000};
    CameraFaults faults;
    // Called on the camera's thread once the reply to the frame is out, so they never delay
    // it. They may call vanish(), comeBack() and stop() (which then only asks the thread to
    // end; the owner's stop() joins it).
    std::function<void(const CameraEvent&)> onEvent;
    std::function<void(const UpgradeVerdict&)> onVerdict;
};

class VirtualCamera {
  public:
    explicit VirtualCamera(VirtualCameraOptions options = {});
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;
    ~VirtualCamera();

    // Creates the device and starts the camera. false: error() says why.
    bool start();
    void stop();
    bool running() const { return thread_.joinable(); }
    std::string error() const;

    // The pseudo-terminal's slave device (changes when the device comes back).
    std::string devicePath() const;
    // What a host should open: the link when one was asked for, else the device.
    std::string portPath() const;

    // Every frame received so far, with loose and garbled bytes, in order of arrival.
    std::vector<HostFrame> receivedFrames() const { return record_.frames(); }
    std::vector<HostFrame> receivedFrames(HostFrameKind kind) const { return record_.frames(kind); }
    // Forgets the record and the last verdict.
    void clearReceived() { record_.clear(); }

    std::optional<UpgradeVerdict> lastVerdict() const { return record_.verdict(); }
    // The last verdict, waiting up to timeout for one if there is none yet.
    std::optional<UpgradeVerdict> waitForVerdict(std::chrono::milliseconds timeout) const {
        return record_.waitForVerdict(timeout);
    }

    int cameraSpeed() const { return cameraSpeed_.load(); }
    int hostSpeed() const { return hostSpeed_.load(); }
    bool present() const { return present_.load(); }

    // Takes effect from the next frame.
    void setFaults(CameraFaults faults);
    // The device disappears now: the host sees a hang-up, the link is removed, the camera
    // loses power.
    void vanish();
    // A new device appears (the link is pointed at it). false: error() says why.
    bool comeBack();

  private:
    enum class Request : std::uint8_t { Vanish, ComeBack };

    // The owner's side (virtual_camera.cpp).
    bool submit(Request request);
    void serveRequests();
    void emit(CameraEvent event);
    void note(std::string text);
    void flushEvents();
    void finishUpgrade(UpgradeVerdict verdict);
    void setError(std::string text);

    // The line thread (virtual_camera_line.cpp).
    void run();
    void handleChunk(std::span<const std::uint8_t> bytes, SimTime now);
    void handleFrame(HostFrame frame, SimTime through);
    bool vanishesAt(const HostFrame& frame) const;
    void deliver(const ShortFrame& reply, CameraStep step, std::uint32_t block, SimTime through,
                 SimTime readyAt);
    std::optional<SimTime> awaitHost(CameraStep step, SimTime through, SimTime readyAt);
    bool hostListens() const;
    bool replyLost(const std::string& name);
    bool writeAll(std::span<const std::uint8_t> bytes);
    bool idleUntil(SimTime deadline);
    SimClock::duration tick(SimTime now) const;
    void watchHost();
    void sampleHost(SimTime now);
    void changeCameraSpeed(int speed, SimTime now);
    void checkBootTimeout(SimTime now);
    void vanishNow();
    bool comeBackNow();
    bool openDevice(std::string& error);

    VirtualCameraOptions options_;
    BootLoader boot_;
    FrameReader reader_;
    SpeedModel speed_;
    CameraFaults faults_; // the thread's copy
    CameraDevice device_;
    ReplyNoise noise_;
    LinePacer rx_;
    LinePacer tx_;
    std::uint64_t rxTaken_ = 0;       // bytes of the host's the frame reader has handed on
    std::vector<CameraEvent> events_; // held until the reply they lead to is out
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> cameraSpeed_{0};
    std::atomic<int> hostSpeed_{0};
    std::atomic<bool> present_{false};
    std::atomic<bool> requestPending_{false};
    std::optional<SimTime> comeBackAt_;
    SimTime lastStep_{};
    SimTime lastActivity_{}; // the host opened, closed, reconfigured or wrote

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string error_;
    std::string devicePath_;
    std::optional<CameraFaults> newFaults_;
    std::vector<Request> requests_;
    std::uint64_t requested_ = 0;
    std::uint64_t served_ = 0;
    bool lastRequestOk_ = true;
    CameraRecord record_;
};

} // namespace orvane
