#include "serial/port_details.h"
#include "serial/port_name.h"
#include "station/port_watch.h"

#include <algorithm>
#include <array>
#include <poll.h>
#include <sys/inotify.h>
#include <system_error>
#include <unistd.h>

namespace orvane {

struct PortWatch::State {
    std::vector<std::filesystem::path> folders;
    std::vector<int> watches; // -1: the folder is not there yet
    int fd = -1;
};

PortWatch::PortWatch(std::vector<std::filesystem::path> folders) : state_(std::make_unique<State>()) {
    state_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    state_->watches.assign(folders.size(), -1);
    state_->folders = std::move(folders);
}

PortWatch::~PortWatch() {
    if (state_->fd >= 0) {
        close(state_->fd);
    }
}

bool PortWatch::waitForChange(std::chrono::milliseconds timeout) {
    State& s = *state_;
    constexpr auto events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF;
    bool missing = false;
    for (std::size_t i = 0; i < s.folders.size(); ++i) {
        if (s.watches[i] < 0 && s.fd >= 0) {
            s.watches[i] = inotify_add_watch(s.fd, s.folders[i].c_str(), events);
        }
        missing = missing || s.watches[i] < 0;
    }
    // A folder still to come is looked for once a second.
    const auto wait = missing ? std::min(timeout, std::chrono::milliseconds{1000}) : timeout;
    if (s.fd < 0) {
        poll(nullptr, 0, static_cast<int>(wait.count()));
        return false;
    }
    pollfd ready{s.fd, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(wait.count())) <= 0) {
        return false;
    }
    alignas(inotify_event) std::array<char, 4096> buffer{};
    ssize_t got = 0;
    while ((got = read(s.fd, buffer.data(), buffer.size())) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            if ((event->mask & IN_IGNORED) != 0) {
                std::replace(s.watches.begin(), s.watches.end(), event->wd, -1); // the folder went
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return true;
}

std::vector<PortFacts> portsIn(const std::filesystem::path& folder, bool details) {
    std::vector<PortFacts> ports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        // A link whose device has gone (a camera unplugged) is no port.
        if (!std::filesystem::exists(entry.path(), error)) {
            continue;
        }
        PortFacts port{std::filesystem::absolute(entry.path(), error).string(),
                       entry.path().filename().string()};
        if (details) {
            const PortDetails described = describePort(entry.path().string(), PortRoots{.proc = {}});
            port.vid = described.vid;
            port.pid = described.pid;
            port.serial = described.serial;
        }
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return ports;
}

bool portPresent(const std::string& port) {
    std::error_code error;
    return std::filesystem::exists(devicePathOf(port), error);
}

std::string portDevice(const std::string& port) {
    std::error_code error;
    const std::filesystem::path named = devicePathOf(port);
    if (!std::filesystem::is_symlink(named, error)) {
        return {};
    }
    const std::filesystem::path device = std::filesystem::canonical(named, error);
    return error ? std::string() : device.string();
}

std::filesystem::path folderOfPort(const std::string& port) {
    return std::filesystem::path(devicePathOf(port)).parent_path();
}

} // namespace orvane
