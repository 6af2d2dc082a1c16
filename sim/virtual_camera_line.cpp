// The virtual camera's line thread: reads the host's bytes, models the line speed and the
// time bytes take, asks the boot loader for answers and writes them out on time. Nothing
// but the reply delay and the flash time stands between the last byte of a frame and its
// reply: the live view's events wait until the reply is out.
#include "sim/strict_timing.h"
#include "sim/virtual_camera.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/prctl.h>
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

} // namespace

void VirtualCamera::run() {
    // The kernel may otherwise wake the thread up to 50 us late, half a byte at 921600.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    std::array<std::uint8_t, 4096> buffer{};
    std::vector<HostFrame> frames;
    while (!stopping_) {
        serveRequests();
        SimTime now = SimClock::now();
        SimTime wakeAt = now + tick(now);
        if (const auto d = reader_.deadline())
            wakeAt = std::min(wakeAt, *d);
        if (comeBackAt_)
            wakeAt = std::min(wakeAt, *comeBackAt_);
        std::array<pollfd, 3> fds{
            {{wakeFd_, POLLIN, 0}, {device_.activityFd(), POLLIN, 0}, {device_.fd(), POLLIN, 0}}};
        pollUntil(fds, wakeAt);
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
        }
        now = SimClock::now();
        // The host's setting first: bytes it has just written follow a switch it just made.
        watchHost();
        sampleHost(now);
        if (device_.present() && (fds[2].revents & POLLIN) != 0) {
            const auto n = ::read(device_.fd(), buffer.data(), buffer.size());
            if (n > 0) {
                lastActivity_ = now;
                handleChunk(std::span(buffer.data(), static_cast<std::size_t>(n)), now);
            }
        }
        frames.clear();
        reader_.expire(SimClock::now(), frames);
        for (auto& frame : frames) {
            rxTaken_ += frame.bytes.size();
            const SimTime through = frame.time;
            handleFrame(std::move(frame), through);
        }
        checkBootTimeout(SimClock::now());
        if (comeBackAt_ && SimClock::now() >= *comeBackAt_) {
            comeBackAt_.reset();
            comeBackNow();
        }
        flushEvents();
    }
    flushEvents();
}

SimClock::duration VirtualCamera::tick(SimTime now) const {
    const bool resting =
        boot_.state() == BootState::Application && speed_.agree() && now - lastActivity_ > restAfter;
    return resting ? SimClock::duration(restingTick) : SimClock::duration(busyTick);
}

// Every byte has its own deadline on the line; a frame is in when its last byte is.
void VirtualCamera::handleChunk(std::span<const std::uint8_t> bytes, SimTime now) {
    std::vector<HostFrame> frames;
    rx_.pass(bytes.size(), now, speed_.cameraSpeed());
    reader_.feed(bytes, now, frames);
    for (auto& frame : frames) {
        rxTaken_ += frame.bytes.size();
        const SimTime through = options_.pacing ? rx_.throughAt(rxTaken_ - 1) : now;
        if (options_.pacing && !idleUntil(through)) {
            return;
        }
        if (stopping_ || !device_.present()) {
            return;
        }
        handleFrame(std::move(frame), through);
        flushEvents();
    }
}

void VirtualCamera::handleFrame(HostFrame frame, SimTime through) {
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
        meaning = meaningOf(frame) + " sent at " + speedText(speed_.hostSpeed()) +
                  " while the camera listens at " + speedText(speed_.cameraSpeed()) + ": garbled";
        frame.kind = HostFrameKind::Garbled;
    } else {
        meaning = meaningOf(frame);
    }
    if (vanishesAt(frame)) {
        emit({CameraEvent::Kind::Received, frame.time, frame.kind, frame.bytes,
              meaning + ": the device vanishes (fault)"});
        record_.add(std::move(frame));
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
    record_.add(std::move(frame));
    if (answer.speedBeforeReply) {
        changeCameraSpeed(*answer.speedBeforeReply, SimClock::now());
    }
    if (answer.reply) {
        SimTime readyAt = through + options_.replyDelay;
        if (answer.step == CameraStep::Block) {
            readyAt += options_.flashTime;
        }
        deliver(*answer.reply, answer.step.value_or(CameraStep::Any), answer.block, through, readyAt);
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
    return bigEndian(frame.bytes, 2, 2) == (*faults_.vanishAtBlock & 0xFFFFu);
}

// Whether a reply written now reaches the host whole: its port open (as far as the strict camera
// looks) at the camera's speed.
bool VirtualCamera::hostListens() const {
    const bool sameSpeed = !options_.modelSpeed || speed_.agree();
    return sameSpeed && (!options_.strict || device_.hostOpen());
}

// When the reply may go out. The host switches its port after it has written, so it is given a
// while: forgiving, up to switchWait from now; strict, from the step's turnaround to the latest a
// real boot loader answers, whether the host listens by then or not. nullopt: the camera is
// stopping or its device is to vanish.
std::optional<SimTime> VirtualCamera::awaitHost(CameraStep step, SimTime through, SimTime readyAt) {
    SimTime giveUp = SimClock::now() + options_.switchWait;
    if (options_.strict) {
        readyAt = std::max(readyAt, through + strictTurnaround(step));
        if (!idleUntil(readyAt)) {
            return std::nullopt;
        }
        giveUp = std::max(readyAt, through + strictLatestReply);
    }
    if (hostListens()) {
        return readyAt;
    }
    while (!hostListens() && SimClock::now() < giveUp) {
        if (!idleUntil(std::min(giveUp, SimClock::now() + busyTick))) {
            return std::nullopt;
        }
    }
    return std::max(readyAt, SimClock::now());
}

// Strict: bytes written while the host's port is closed are lost, as on a real line.
bool VirtualCamera::replyLost(const std::string& name) {
    if (!options_.strict) {
        return false;
    }
    watchHost();
    if (device_.hostOpen()) {
        return false;
    }
    boot_.noteReplyOut(SimClock::now());
    note("the reply " + name + " is lost: the host's port is closed (strict)");
    return true;
}

// Each piece of the reply is written when its last byte would be through the line, counted
// from readyAt: the time the camera spends deciding is part of that, not added to it.
void VirtualCamera::deliver(const ShortFrame& reply, CameraStep step, std::uint32_t block, SimTime through,
                            SimTime readyAt) {
    const std::optional<SimTime> from = awaitHost(step, through, readyAt);
    if (!from) {
        return;
    }
    std::optional<SpeedMismatch> mismatch;
    if (options_.modelSpeed && !speed_.agree()) {
        mismatch = SpeedMismatch{speed_.hostSpeed(), speed_.cameraSpeed()};
    }
    const ShapedReply shaped = shapeReply(reply, step, block, faults_, mismatch, noise_);
    const std::span<const std::uint8_t> bytes(shaped.bytes);
    std::size_t done = 0;
    SimTime pieceFrom = *from;
    for (std::size_t i = 0; i < shaped.pieces.size(); ++i) {
        const std::size_t size = shaped.pieces[i];
        const SimTime due = options_.pacing ? tx_.pass(size, pieceFrom, speed_.cameraSpeed()) : pieceFrom;
        if (!idleUntil(due) || replyLost(shaped.name)) {
            return;
        }
        if (!writeAll(bytes.subspan(done, size))) {
            note("the reply " + shaped.name + " could not be written");
            return;
        }
        done += size;
        pieceFrom = SimClock::now() + faults_.splitGap;
    }
    boot_.noteReplyOut(SimClock::now());
    emit({CameraEvent::Kind::Replied, SimClock::now(), HostFrameKind::Unrecognised, shaped.bytes,
          shaped.name});
}

bool VirtualCamera::writeAll(std::span<const std::uint8_t> bytes) {
    const SimTime giveUp = SimClock::now() + writeGiveUp;
    while (!bytes.empty()) {
        if (stopping_ || !device_.present()) {
            return false;
        }
        const auto n = ::write(device_.fd(), bytes.data(), bytes.size());
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
        std::array<pollfd, 2> fds{{{wakeFd_, POLLIN, 0}, {device_.fd(), POLLOUT, 0}}};
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
        std::array<pollfd, 2> fds{{{wakeFd_, POLLIN, 0}, {device_.activityFd(), POLLIN, 0}}};
        pollUntil(fds, std::min(deadline, now + busyTick));
        watchHost();
        sampleHost(SimClock::now());
    }
    return false;
}

// The host opening or closing the device is a hint that its speed may just have changed.
// Strict, a close takes with it what the host had not read.
void VirtualCamera::watchHost() {
    const HostActivity activity = device_.takeHostActivity();
    if (!activity.seen) {
        return;
    }
    lastActivity_ = SimClock::now();
    speed_.noteHostActivity(lastActivity_);
    if (options_.strict && activity.closed) {
        if (const int unread = device_.discardUnread(); unread > 0) {
            note("the host closed its port with " + std::to_string(unread) + " bytes unread: lost (strict)");
        }
    }
}

void VirtualCamera::sampleHost(SimTime now) {
    if (!device_.present()) {
        return;
    }
    const int host = device_.hostSpeed();
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
    if (!device_.present()) {
        return;
    }
    if (auto v = boot_.powerCycle()) {
        finishUpgrade(std::move(*v));
    }
    const std::string path = device_.path();
    present_ = false;
    device_.vanish();
    reader_.reset();
    rxTaken_ = rx_.passed();
    speed_.reset(options_.lineSpeed, SimClock::now());
    cameraSpeed_ = options_.lineSpeed;
    hostSpeed_ = 0;
    note("the device " + path + " vanished");
}

bool VirtualCamera::comeBackNow() {
    if (device_.present()) {
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
    if (!device_.appear(options_.lineSpeed, error)) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        devicePath_ = device_.path();
    }
    boot_.powerCycle();
    reader_.reset();
    rxTaken_ = rx_.passed();
    const SimTime now = SimClock::now();
    speed_.reset(options_.lineSpeed, now);
    cameraSpeed_ = options_.lineSpeed;
    sampleHost(now);
    present_ = true;
    return true;
}

} // namespace orvane
