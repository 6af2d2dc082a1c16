// Port details on Linux, straight from sysfs, /dev/serial/by-id and /proc: a handful of small
// files per port, which libudev would only read for us through a library more.
#include "serial/device_identity.h"
#include "serial/port_details.h"
#include "serial/port_name.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace orvane {
namespace {

namespace fs = std::filesystem;

// How far above a tty's device its USB device may sit: port -> interface -> device.
constexpr int usbDeviceSearchDepth = 3;

std::optional<std::string> firstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// The last component of a symbolic link's target: the name of a driver a device is bound to.
std::optional<std::string> linkName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    if (error || target.filename().empty()) {
        return std::nullopt;
    }
    return target.filename().string();
}

// The on-board UART driver appears as its platform ("serial8250") or PnP ("serial") binding.
std::string plainDriverName(std::string name) {
    if (name == "serial8250" || name == "serial") {
        return "8250";
    }
    return name;
}

// The node's name below the /dev root as sysfs spells it ("usb/ttyFoo3" -> "usb!ttyFoo3"),
// or empty when the node is not under it.
std::string ttyClassNameOf(const fs::path& node, const fs::path& devRoot) {
    std::error_code error;
    const fs::path root = fs::weakly_canonical(devRoot, error);
    const fs::path relative = node.lexically_relative(error ? devRoot : root);
    const std::string name = relative.generic_string();
    if (relative.empty() || name.starts_with("..") || name == ".") {
        return {};
    }
    std::string spelled = name;
    std::replace(spelled.begin(), spelled.end(), '/', '!');
    return spelled;
}

void readSysfs(PortDetails& details, const fs::path& classEntry) {
    std::error_code error;
    fs::path device = fs::canonical(classEntry / "device", error);
    if (error) {
        return;
    }
    // Since Linux 6.5 an on-board UART's tty hangs below a port and a controller device of
    // the serial-base bus; the hardware and its driver are above them.
    for (int level = 0; level < 2 && linkName(device / "subsystem") == "serial-base"; ++level) {
        device = device.parent_path();
    }
    // USB serial adapters: the tty sits on the interface (cdc_acm) or one level below it
    // (usb-serial); the interface's driver is the one a technician knows by name.
    fs::path interface;
    if (isFile(device / "bInterfaceNumber")) {
        interface = device;
    } else if (isFile(device.parent_path() / "bInterfaceNumber")) {
        interface = device.parent_path();
    }
    if (!interface.empty()) {
        details.driver = linkName(interface / "driver");
    } else if (auto name = linkName(device / "driver")) {
        details.driver = plainDriverName(std::move(*name));
    }

    fs::path usb = device;
    for (int level = 0; level < usbDeviceSearchDepth && !usb.empty(); ++level, usb = usb.parent_path()) {
        if (isFile(usb / "idVendor")) {
            details.vid = firstLineOf(usb / "idVendor");
            details.pid = firstLineOf(usb / "idProduct");
            details.manufacturer = firstLineOf(usb / "manufacturer");
            details.product = firstLineOf(usb / "product");
            details.serial = firstLineOf(usb / "serial");
            break;
        }
        if (usb == usb.root_path()) {
            break;
        }
    }

    if (details.driver == "ftdi_sio") {
        if (const auto text = firstLineOf(device / "latency_timer")) {
            int value = 0;
            const auto [end, failed] = std::from_chars(text->data(), text->data() + text->size(), value);
            if (failed == std::errc{} && end == text->data() + text->size()) {
                details.latencyTimerMs = value;
            }
        }
    }
}

std::optional<std::string> byIdLinkTo(const fs::path& node, const fs::path& devRoot) {
    const std::optional<DeviceIdentity> device = deviceIdentityOf(node);
    if (!device) {
        return std::nullopt;
    }
    std::error_code error;
    fs::directory_iterator links(devRoot / "serial" / "by-id", error);
    if (error) {
        return std::nullopt;
    }
    std::vector<std::string> found;
    for (; links != fs::directory_iterator(); links.increment(error)) {
        if (error) {
            break;
        }
        if (deviceIdentityOf(links->path()) == device) {
            found.push_back(links->path().string());
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    // One adapter may have several links (one per interface name); the same one every time.
    return *std::min_element(found.begin(), found.end());
}

bool inGroup(const UserIdentity& user, std::uint32_t gid) {
    return user.gid == gid || std::find(user.groups.begin(), user.groups.end(), gid) != user.groups.end();
}

std::string accessOf(const fs::path& node, const UserIdentity& user) {
    struct stat status {};
    if (::stat(node.c_str(), &status) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) {
            return "no such device";
        }
        char buffer[128] = {};
        return ::strerror_r(err, buffer, sizeof buffer);
    }
    if (user.uid == 0) {
        return std::string(portAccessOk);
    }
    // The permission class that applies is the first that matches, as the kernel checks it.
    const auto mode = status.st_mode;
    const bool member = inGroup(user, status.st_gid);
    bool allowed = false;
    if (status.st_uid == user.uid) {
        allowed = (mode & S_IRUSR) != 0 && (mode & S_IWUSR) != 0;
    } else if (member) {
        allowed = (mode & S_IRGRP) != 0 && (mode & S_IWGRP) != 0;
    } else {
        allowed = (mode & S_IROTH) != 0 && (mode & S_IWOTH) != 0;
    }
    if (allowed) {
        return std::string(portAccessOk);
    }
    if (status.st_uid != user.uid && !member && (mode & S_IRGRP) != 0 && (mode & S_IWGRP) != 0) {
        return std::string(portAccessNeedsDialout);
    }
    return "permission denied";
}

} // namespace

UserIdentity UserIdentity::ofProcess() {
    UserIdentity user;
    user.uid = ::geteuid();
    user.gid = ::getegid();
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, groups.data());
        for (int i = 0; i < got; ++i) {
            user.groups.push_back(groups[static_cast<std::size_t>(i)]);
        }
    }
    return user;
}

PortDetails describePort(std::string_view name, const PortRoots& roots, const UserIdentity& user) {
    PortDetails details;
    details.name = std::string(name);
    std::string path = devicePathOf(name);
    constexpr std::string_view devPrefix = "/dev/";
    if (path.starts_with(devPrefix) && !fs::path(std::string(name)).is_absolute()) {
        path = (roots.dev / path.substr(devPrefix.size())).string();
    }
    details.path = path;
    if (path.empty()) {
        details.access = "no such device";
        return details;
    }

    std::error_code error;
    fs::path node = fs::canonical(path, error);
    if (error) {
        node = fs::path(path).lexically_normal();
    }
    if (const std::string className = ttyClassNameOf(node, roots.dev); !className.empty()) {
        readSysfs(details, roots.ttyClass / className);
    }
    details.byId = byIdLinkTo(node, roots.dev);
    details.access = accessOf(node, user);
    details.holders = findPortHolders(node, roots.proc);
    if (!details.holders.empty()) {
        details.holder = details.holders.front();
    }
    return details;
}

std::string portDescription(const PortDetails& details) {
    if (details.product && !details.product->empty()) {
        return *details.product;
    }
    return details.driver.value_or(std::string());
}

} // namespace orvane
