// The virtual camera's line thread: reads the host's bytes, models the line speed and
// pacing, asks the boot loader for answers and writes them, with faults when asked.
#include "sim/virtual_camera.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;

// The host's speed setting cannot be observed but by sampling it: often while an upgrade
// or a speed change is under way, seldom while the line rests (to cost next to nothing).
constexpr auto busyTick = 5ms;
constexpr auto restingTick = 50ms;
constexpr auto restAfter = 2s;
// A host that does not read its port for this long loses the reply.
constexpr auto writeGiveUp = 2000ms;

// Waits on the descriptors until the deadline, to the microsecond (pacing relies on it).
void pollUntil(std::span<pollfd> fds, SimTime deadline) {
    const auto left = std::max(deadline - SimClock::now(), SimClock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
    const timespec timeout{static_cast<time_t>(seconds.count()), static_cast<long>(nanos.count())};
    ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
}

std::string replyName(const ShortFrame& reply) {
    if (reply == enterAckReply) return "EnterAck";
    if (reply == headerRequestReply) return "HeaderRequest";
    if (reply == blockAckReply) return "BlockAck";
    if (reply == blockNakReply) return "BlockNak";
    if (reply == abortReply) return "AbortFrame";
    return "reply";
}

std::string speedText(int speed) {
    return std::to_string(speed) + " bit/s";
}

} // namespace

VirtualCamera::VirtualCamera(VirtualCameraOptions options)
    : options_(std::move(options)),
      boot_({options_.address, options_.lineSpeed, options_.upgradeSpeed}, options_.faults),
      reader_(options_.frameGap), speed_(options_.lineSpeed, options_.speedGrace), faults_(options_.faults),
      cameraSpeed_(options_.lineSpeed) {}

VirtualCamera::~VirtualCamera() {
    stop();
}

bool VirtualCamera::start() {
    if (running()) {
        return true;
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    notifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
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
    pty_.close();
    present_ = false;
    removeLink();
    for (int* fd : {&wakeFd_, &notifyFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    watch_ = -1;
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

std::vector<HostFrame> VirtualCamera::receivedFrames() const {
    std::lock_guard lock(mutex_);
    return record_;
}

std::vector<HostFrame> VirtualCamera::receivedFrames(HostFrameKind kind) const {
    std::lock_guard lock(mutex_);
    std::vector<HostFrame> some;
    std::copy_if(record_.begin(), record_.end(), std::back_inserter(some),
                 [kind](const HostFrame& f) { return f.kind == kind; });
    return some;
}

void VirtualCamera::clearReceived() {
    std::lock_guard lock(mutex_);
    record_.clear();
    verdict_.reset();
}

std::optional<UpgradeVerdict> VirtualCamera::lastVerdict() const {
    std::lock_guard lock(mutex_);
    return verdict_;
}

std::optional<UpgradeVerdict> VirtualCamera::waitForVerdict(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return verdict_.has_value(); });
    return verdict_;
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

void VirtualCamera::run() {
    std::array<std::uint8_t, 4096> buffer{};
    std::vector<HostFrame> frames;
    while (!stopping_) {
        serveRequests();
        SimTime now = SimClock::now();
        SimTime wakeAt = now + tick(now);
        if (const auto d = reader_.deadline()) wakeAt = std::min(wakeAt, *d);
        if (comeBackAt_) wakeAt = std::min(wakeAt, *comeBackAt_);
        std::array<pollfd, 3> fds{{{wakeFd_, POLLIN, 0}, {notifyFd_, POLLIN, 0}, {pty_.masterFd(), POLLIN, 0}}};
        pollUntil(fds, wakeAt);
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
        }
        now = SimClock::now();
        watchHost();
        sampleHost(now);
        if (pty_.isOpen() && (fds[2].revents & POLLIN) != 0) {
            const auto n = ::read(pty_.masterFd(), buffer.data(), buffer.size());
            if (n > 0) {
                lastActivity_ = now;
                handleChunk(std::span(buffer.data(), static_cast<std::size_t>(n)), now);
            }
        }
        frames.clear();
        reader_.expire(SimClock::now(), frames);
        for (auto& frame : frames) {
            handleFrame(std::move(frame));
        }
        checkBootTimeout(SimClock::now());
        if (comeBackAt_ && SimClock::now() >= *comeBackAt_) {
            comeBackAt_.reset();
            comeBackNow();
        }
    }
}

SimClock::duration VirtualCamera::tick(SimTime now) const {
    const bool resting = boot_.state() == BootState::Application && speed_.agree() && now - lastActivity_ > restAfter;
    return resting ? SimClock::duration(restingTick) : SimClock::duration(busyTick);
}

void VirtualCamera::handleChunk(std::span<const std::uint8_t> bytes, SimTime now) {
    std::vector<HostFrame> frames;
    if (options_.pacing) {
        rxBusyUntil_ = std::max(rxBusyUntil_, now) + wireTime(bytes.size(), speed_.cameraSpeed());
    }
    reader_.feed(bytes, now, frames);
    if (!frames.empty() && options_.pacing && !idleUntil(rxBusyUntil_)) {
        return;
    }
    for (auto& frame : frames) {
        if (stopping_ || !pty_.isOpen()) {
            return;
        }
        handleFrame(std::move(frame));
    }
}

void VirtualCamera::handleFrame(HostFrame frame) {
    {
        std::lock_guard lock(mutex_);
        if (newFaults_) {
            faults_ = *newFaults_;
            boot_.setFaults(std::move(*newFaults_));
            newFaults_.reset();
        }
    }
    std::string meaning;
    if (options_.modelSpeed && frame.kind != HostFrameKind::Unrecognised && !speed_.readable(frame.time)) {
        meaning = meaningOf(frame) + " sent at " + speedText(speed_.hostSpeed()) + " while the camera listens at " +
                  speedText(speed_.cameraSpeed()) + ": garbled";
        frame.kind = HostFrameKind::Garbled;
    } else {
        meaning = meaningOf(frame);
    }
    if (vanishesAt(frame)) {
        emit({CameraEvent::Kind::Received, frame.time, frame.kind, frame.bytes, meaning + ": the device vanishes (fault)"});
        {
            std::lock_guard lock(mutex_);
            record_.push_back(std::move(frame));
        }
        vanishNow();
        if (faults_.returnAfter) {
            comeBackAt_ = SimClock::now() + *faults_.returnAfter;
        }
        return;
    }
    CameraAnswer answer = boot_.onFrame(frame);
    if (answer.step) {
        lastStep_ = SimClock::now();
    }
    if (!answer.note.empty()) {
        meaning += ": " + answer.note;
    }
    emit({CameraEvent::Kind::Received, frame.time, frame.kind, frame.bytes, meaning});
    {
        std::lock_guard lock(mutex_);
        record_.push_back(std::move(frame));
    }
    const SimTime now = SimClock::now();
    if (answer.speedBeforeReply) {
        changeCameraSpeed(*answer.speedBeforeReply, now);
    }
    if (answer.step == CameraStep::Block && options_.flashTime.count() > 0 &&
        !idleUntil(SimClock::now() + options_.flashTime)) {
        return;
    }
    if (answer.reply) {
        deliver(*answer.reply, answer.step.value_or(CameraStep::Any), answer.block);
    }
    if (answer.speedAfterReply) {
        changeCameraSpeed(*answer.speedAfterReply, SimClock::now());
    }
    if (answer.verdict) {
        finishUpgrade(std::move(*answer.verdict));
    }
}

// The device is pulled as the block arrives, before the camera could take it.
bool VirtualCamera::vanishesAt(const HostFrame& frame) const {
    if (!faults_.vanishAtBlock || frame.kind != HostFrameKind::Block || frame.bytes.size() < 4 ||
        boot_.state() != BootState::Receiving) {
        return false;
    }
    const std::uint32_t number = bigEndian(frame.bytes, 2, 2);
    return number == (*faults_.vanishAtBlock & 0xFFFFu);
}

void VirtualCamera::deliver(const ShortFrame& reply, CameraStep step, std::uint32_t block) {
    std::string name = replyName(reply);
    if (options_.modelSpeed && !speed_.agree()) {
        // The host switches its port after it has written; answer once it listens.
        const SimTime giveUp = SimClock::now() + options_.switchWait;
        while (!speed_.agree() && SimClock::now() < giveUp) {
            if (!idleUntil(std::min(giveUp, SimClock::now() + busyTick))) {
                return;
            }
        }
    }
    const bool garbled = options_.modelSpeed && !speed_.agree();
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 0; i < faults_.noiseBytes; ++i) {
        // Any byte but 0xA5 (and 0x5A, which a garbled line would turn into 0xA5).
        std::uint8_t b = 0;
        do {
            noiseSeed_ = noiseSeed_ * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(noiseSeed_ >> 24);
        } while (b == frameStart || b == 0x5A);
        bytes.push_back(b);
    }
    if (faults_.noiseBytes > 0) {
        name += " after " + std::to_string(faults_.noiseBytes) + " noise bytes";
    }
    if (stepMatches(faults_.strayStartAt, step, block)) {
        bytes.push_back(frameStart);
        name += " after a stray 0xA5";
    }
    ShortFrame frame = reply;
    if (stepMatches(faults_.wrongCheckAt, step, block)) {
        frame[3] ^= 0x01;
        name += " with a wrong check byte";
    }
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    if (garbled) {
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(~b);
        }
        name += ", garbled: the host listens at " + speedText(speed_.hostSpeed()) + ", the camera sends at " +
                speedText(speed_.cameraSpeed());
    }
    if (options_.pacing && !idleUntil(SimClock::now() + wireTime(bytes.size(), speed_.cameraSpeed()))) {
        return;
    }
    const std::size_t parts = std::clamp<std::size_t>(faults_.splitParts, 1, bytes.size());
    if (parts > 1) {
        name += " in " + std::to_string(parts) + " pieces";
    }
    std::size_t done = 0;
    for (std::size_t part = 0; part < parts; ++part) {
        const std::size_t size = (bytes.size() - done) / (parts - part);
        if (!writeAll(std::span(bytes).subspan(done, size))) {
            note("the reply " + name + " could not be written");
            return;
        }
        done += size;
        if (part + 1 < parts && !idleUntil(SimClock::now() + faults_.splitGap)) {
            return;
        }
    }
    emit({CameraEvent::Kind::Replied, SimClock::now(), HostFrameKind::Unrecognised, bytes, name});
}

bool VirtualCamera::writeAll(std::span<const std::uint8_t> bytes) {
    const SimTime giveUp = SimClock::now() + writeGiveUp;
    while (!bytes.empty()) {
        if (stopping_ || !pty_.isOpen()) {
            return false;
        }
        const auto n = ::write(pty_.masterFd(), bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (SimClock::now() >= giveUp || requestPending_) {
            return false;
        }
        std::array<pollfd, 2> fds{{{wakeFd_, POLLIN, 0}, {pty_.masterFd(), POLLOUT, 0}}};
        ::poll(fds.data(), fds.size(), 10);
    }
    return true;
}

// Lets time pass on the line without reading it, still following the host's speed.
// false: the camera is stopping or its device is to vanish; whatever it was doing is dropped.
bool VirtualCamera::idleUntil(SimTime deadline) {
    while (!stopping_ && !requestPending_) {
        const SimTime now = SimClock::now();
        if (now >= deadline) {
            return true;
        }
        std::array<pollfd, 2> fds{{{wakeFd_, POLLIN, 0}, {notifyFd_, POLLIN, 0}}};
        pollUntil(fds, std::min(deadline, now + busyTick));
        watchHost();
        sampleHost(SimClock::now());
    }
    return false;
}

// The host opening or closing the device is a hint that its speed may just have changed.
void VirtualCamera::watchHost() {
    if (notifyFd_ < 0) {
        return;
    }
    alignas(inotify_event) std::array<char, 1024> events{};
    bool any = false;
    while (::read(notifyFd_, events.data(), events.size()) > 0) {
        any = true;
    }
    if (any) {
        lastActivity_ = SimClock::now();
        speed_.noteHostActivity(lastActivity_);
    }
}

void VirtualCamera::sampleHost(SimTime now) {
    if (!pty_.isOpen()) {
        return;
    }
    const int host = pty_.hostSpeed();
    if (host != speed_.hostSpeed()) {
        lastActivity_ = now;
    }
    speed_.sampleHost(host, now);
    hostSpeed_ = host;
}

void VirtualCamera::checkBootTimeout(SimTime now) {
    if (options_.bootTimeout.count() <= 0 || boot_.state() == BootState::Application ||
        now - lastStep_ < options_.bootTimeout) {
        return;
    }
    note("the boot loader heard nothing for " + std::to_string(options_.bootTimeout.count()) +
         " ms and restarts the application");
    auto verdict = boot_.powerCycle();
    if (speed_.cameraSpeed() != boot_.speed()) {
        changeCameraSpeed(boot_.speed(), now);
    }
    if (verdict) {
        finishUpgrade(std::move(*verdict));
    }
}

void VirtualCamera::changeCameraSpeed(int speed, SimTime now) {
    speed_.setCameraSpeed(speed, now);
    cameraSpeed_ = speed;
    note("the camera now talks at " + speedText(speed));
}

void VirtualCamera::vanishNow() {
    if (!pty_.isOpen()) {
        return;
    }
    if (auto v = boot_.powerCycle()) {
        finishUpgrade(std::move(*v));
    }
    if (watch_ >= 0) {
        ::inotify_rm_watch(notifyFd_, watch_);
        watch_ = -1;
    }
    const std::string path = pty_.slavePath();
    present_ = false;
    removeLink();
    pty_.close();
    reader_.reset();
    speed_.reset(options_.lineSpeed, SimClock::now());
    cameraSpeed_ = options_.lineSpeed;
    hostSpeed_ = 0;
    note("the device " + path + " vanished");
}

bool VirtualCamera::comeBackNow() {
    if (pty_.isOpen()) {
        return true;
    }
    comeBackAt_.reset();
    std::string error;
    if (!openDevice(error)) {
        setError(error);
        note("the device could not come back: " + error);
        return false;
    }
    note("the device is back as " + devicePath());
    return true;
}

bool VirtualCamera::openDevice(std::string& error) {
    PseudoTerminal pty;
    if (!pty.open(options_.lineSpeed, error)) {
        return false;
    }
    pty_ = std::move(pty);
    {
        std::lock_guard lock(mutex_);
        devicePath_ = pty_.slavePath();
    }
    if (!pointLink(error)) {
        pty_.close();
        return false;
    }
    if (notifyFd_ >= 0) {
        watch_ = ::inotify_add_watch(notifyFd_, pty_.slavePath().c_str(), IN_OPEN | IN_CLOSE);
    }
    boot_.powerCycle();
    reader_.reset();
    const SimTime now = SimClock::now();
    speed_.reset(options_.lineSpeed, now);
    cameraSpeed_ = options_.lineSpeed;
    rxBusyUntil_ = now;
    sampleHost(now);
    present_ = true;
    return true;
}

// The link is made next to its final place and renamed over it, so a host never finds
// the path missing or half made while the camera re-points it.
bool VirtualCamera::pointLink(std::string& error) {
    if (options_.linkPath.empty()) {
        return true;
    }
    namespace fs = std::filesystem;
    const fs::path link(options_.linkPath);
    std::error_code ec;
    const auto status = fs::symlink_status(link, ec);
    if (fs::exists(status) && !fs::is_symlink(status)) {
        error = options_.linkPath + " exists and is not a symbolic link; choose another --link path";
        return false;
    }
    fs::path temporary = link;
    temporary += ".new-" + std::to_string(::getpid());
    fs::remove(temporary, ec);
    fs::create_symlink(pty_.slavePath(), temporary, ec);
    if (!ec) {
        fs::rename(temporary, link, ec);
    }
    if (ec) {
        fs::remove(temporary, ec);
        error = "cannot make the link " + options_.linkPath + ": " + ec.message();
        return false;
    }
    return true;
}

void VirtualCamera::removeLink() {
    if (options_.linkPath.empty()) {
        return;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path link(options_.linkPath);
    // Only our own link: one that points at a pseudo-terminal of ours.
    if (fs::is_symlink(fs::symlink_status(link, ec))) {
        const auto target = fs::read_symlink(link, ec);
        if (!ec && target.string().rfind("/dev/pts/", 0) == 0) {
            fs::remove(link, ec);
        }
    }
}

void VirtualCamera::emit(CameraEvent event) {
    if (options_.onEvent) {
        options_.onEvent(event);
    }
}

void VirtualCamera::note(std::string text) {
    emit({CameraEvent::Kind::Note, SimClock::now(), HostFrameKind::Unrecognised, {}, std::move(text)});
}

void VirtualCamera::finishUpgrade(UpgradeVerdict verdict) {
    note("upgrade ended: " + verdict.summary);
    {
        std::lock_guard lock(mutex_);
        verdict_ = verdict;
    }
    changed_.notify_all();
    if (options_.onVerdict) {
        options_.onVerdict(verdict);
    }
}

} // namespace orvane
