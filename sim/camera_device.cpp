// The camera's device and its link; see camera_device.h.
#include "sim/camera_device.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/inotify.h>
#include <unistd.h>

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view ptsFolder = "/dev/pts/";

// A link a simulator killed before it could tidy up: it points at a pseudo-terminal that
// no longer exists, so nobody can be using it.
bool staleLink(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return !ec && target.string().rfind(ptsFolder, 0) == 0 && !fs::exists(link, ec) && !ec;
}

std::string takenMessage(const std::string& path) {
    std::error_code ec;
    const auto status = fs::symlink_status(path, ec);
    if (!fs::is_symlink(status)) {
        return path + " exists and is not a symbolic link; choose another --link path";
    }
    const fs::path target = fs::read_symlink(path, ec);
    return path + " already exists (a link to " + target.string() +
           ", perhaps another simulator's); remove it or choose another --link path";
}

} // namespace

CameraDevice::CameraDevice(std::string linkPath) : linkPath_(std::move(linkPath)) {}

CameraDevice::~CameraDevice() {
    shutDown();
}

bool CameraDevice::appear(int speed, std::string& error) {
    if (notifyFd_ < 0) {
        // Without it the camera only misses hints that the host's speed may have changed.
        notifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    // Before the new device exists: it may take the very number a stale link points at.
    if (!clearStaleLink(error)) {
        return false;
    }
    PseudoTerminal pty;
    if (!pty.open(speed, error)) {
        return false;
    }
    pty_ = std::move(pty);
    // Watched before the link is made: a host that opens the device as soon as the link
    // appears must be counted, or a strict camera takes its port for closed.
    hostOpens_ = 0;
    if (notifyFd_ >= 0) {
        watch_ = ::inotify_add_watch(notifyFd_, pty_.slavePath().c_str(), IN_OPEN | IN_CLOSE);
    }
    if (!makeLink(error)) {
        if (watch_ >= 0) {
            ::inotify_rm_watch(notifyFd_, watch_);
            watch_ = -1;
        }
        pty_.close();
        return false;
    }
    return true;
}

void CameraDevice::vanish() {
    if (watch_ >= 0) {
        ::inotify_rm_watch(notifyFd_, watch_);
        watch_ = -1;
    }
    removeLink();
    pty_.close();
}

void CameraDevice::shutDown() {
    vanish();
    if (notifyFd_ >= 0) {
        ::close(notifyFd_);
        notifyFd_ = -1;
    }
}

HostActivity CameraDevice::takeHostActivity() {
    HostActivity activity;
    if (notifyFd_ < 0) {
        return activity;
    }
    alignas(inotify_event) std::array<char, 1024> events{};
    ssize_t n = 0;
    while ((n = ::read(notifyFd_, events.data(), events.size())) > 0) {
        for (ssize_t at = 0; at < n;) {
            inotify_event event{};
            std::memcpy(&event, events.data() + at, sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
            if (event.wd != watch_) {
                continue; // the device before this one
            }
            activity.seen = true;
            if ((event.mask & IN_OPEN) != 0) {
                ++hostOpens_;
            }
            if ((event.mask & IN_CLOSE) != 0) {
                hostOpens_ = std::max(0, hostOpens_ - 1);
                activity.closed = true;
            }
        }
    }
    return activity;
}

bool CameraDevice::clearStaleLink(std::string& error) {
    std::error_code ec;
    if (linkPath_.empty() || !fs::exists(fs::symlink_status(linkPath_, ec))) {
        return true;
    }
    if (!staleLink(linkPath_)) {
        error = takenMessage(linkPath_);
        return false;
    }
    fs::remove(linkPath_, ec);
    return true;
}

// symlink() never replaces what is there, so of two simulators started on one path at
// the same moment exactly one gets it.
bool CameraDevice::makeLink(std::string& error) {
    if (linkPath_.empty()) {
        return true;
    }
    if (::symlink(pty_.slavePath().c_str(), linkPath_.c_str()) != 0) {
        const int failure = errno;
        error = failure == EEXIST ? takenMessage(linkPath_)
                                  : "cannot make the link " + linkPath_ + ": " + std::strerror(failure);
        return false;
    }
    linkedTo_ = pty_.slavePath();
    return true;
}

void CameraDevice::removeLink() {
    if (linkedTo_.empty()) {
        return;
    }
    std::error_code ec;
    const fs::path target = fs::read_symlink(linkPath_, ec);
    if (!ec && target == linkedTo_) {
        fs::remove(linkPath_, ec);
    }
    linkedTo_.clear();
}

} // namespace orvane
