// The virtual camera's owner side: starting and stopping the line thread, handing it device
// requests, and what it records for the owner (frames, verdicts, events).
#include "sim/virtual_camera.h"

#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace orvane {

VirtualCamera::VirtualCamera(VirtualCameraOptions options)
    : options_(std::move(options)),
      boot_({options_.address, options_.lineSpeed, options_.upgradeSpeed, options_.strict}, options_.faults),
      reader_(options_.frameGap), speed_(options_.lineSpeed, options_.speedGrace), faults_(options_.faults),
      device_(options_.linkPath), cameraSpeed_(options_.lineSpeed) {}

VirtualCamera::~VirtualCamera() {
    stop();
}

bool VirtualCamera::start() {
    if (running()) {
        return true;
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        setError(std::string("cannot create the camera's wake-up event: ") + std::strerror(errno));
        stop();
        return false;
    }
    std::string error;
    if (!openDevice(error)) {
        setError(error);
        stop();
        return false;
    }
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void VirtualCamera::stop() {
    stopping_ = true;
    if (thread_.joinable() && std::this_thread::get_id() == thread_.get_id()) {
        return; // called from a callback: the thread ends after it; the owner joins it
    }
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    {
        std::lock_guard lock(mutex_);
        served_ = requested_; // nobody waits on a stopped camera
    }
    changed_.notify_all();
    device_.shutDown();
    present_ = false;
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

std::string VirtualCamera::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void VirtualCamera::setError(std::string text) {
    std::lock_guard lock(mutex_);
    error_ = std::move(text);
}

std::string VirtualCamera::devicePath() const {
    std::lock_guard lock(mutex_);
    return devicePath_;
}

std::string VirtualCamera::portPath() const {
    return options_.linkPath.empty() ? devicePath() : options_.linkPath;
}

void VirtualCamera::setFaults(CameraFaults faults) {
    std::lock_guard lock(mutex_);
    newFaults_ = std::move(faults);
}

void VirtualCamera::vanish() {
    submit(Request::Vanish);
}

bool VirtualCamera::comeBack() {
    return submit(Request::ComeBack);
}

// Device changes are made on the line thread, which owns the pseudo-terminal; the caller
// waits until it is done.
bool VirtualCamera::submit(Request request) {
    if (!running()) {
        return false;
    }
    if (std::this_thread::get_id() == thread_.get_id()) {
        // From a callback, already on the line thread.
        if (request == Request::Vanish) {
            vanishNow();
            return true;
        }
        return comeBackNow();
    }
    std::unique_lock lock(mutex_);
    if (stopping_) {
        return false;
    }
    requests_.push_back(request);
    requestPending_ = true;
    const std::uint64_t ticket = ++requested_;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    changed_.wait(lock, [&] { return served_ >= ticket; });
    return lastRequestOk_;
}

void VirtualCamera::serveRequests() {
    std::vector<Request> requests;
    std::uint64_t upTo = 0;
    {
        std::lock_guard lock(mutex_);
        requests.swap(requests_);
        requestPending_ = false;
        upTo = requested_;
    }
    bool ok = true;
    for (Request r : requests) {
        if (r == Request::Vanish) {
            vanishNow();
        } else {
            ok = comeBackNow();
        }
    }
    if (!requests.empty()) {
        {
            std::lock_guard lock(mutex_);
            served_ = upTo;
            lastRequestOk_ = ok;
        }
        changed_.notify_all();
    }
}

void VirtualCamera::emit(CameraEvent event) {
    if (options_.onEvent) {
        events_.push_back(std::move(event));
    }
}

void VirtualCamera::note(std::string text) {
    emit({CameraEvent::Kind::Note, SimClock::now(), HostFrameKind::Unrecognised, {}, std::move(text)});
}

// Callbacks may emit more (a vanish() from one notes the device going); they follow in turn.
void VirtualCamera::flushEvents() {
    while (!events_.empty()) {
        std::vector<CameraEvent> due;
        due.swap(events_);
        for (const CameraEvent& event : due) {
            options_.onEvent(event);
        }
    }
}

void VirtualCamera::finishUpgrade(UpgradeVerdict verdict) {
    note("upgrade ended: " + verdict.summary);
    record_.setVerdict(verdict);
    if (options_.onVerdict) {
        flushEvents(); // the verdict comes after what led to it
        options_.onVerdict(verdict);
    }
}

} // namespace orvane
