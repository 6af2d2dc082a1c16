// The holders of a port, from the descriptor links under /proc. A pseudo-terminal's master
// side (the virtual camera) often keeps the slave open too, so that the line survives the
// host's closes; it is the far end of the line, and a busy port names the program that holds
// it for use first.
#include "serial/port_holder.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace orvane {
namespace {

namespace fs = std::filesystem;

// The devices of pseudo-terminal slaves (/dev/pts/N) have these majors, 256 indexes each.
constexpr unsigned int firstPtySlaveMajor = 136;
constexpr unsigned int ptySlaveMajors = 8;

bool isProcessId(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The index N of /dev/pts/N, or nothing for any other node.
std::optional<long> ptyIndexOf(const fs::path& node) {
    struct stat status {};
    if (::stat(node.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
        return std::nullopt;
    }
    const unsigned int major = ::major(status.st_rdev);
    if (major < firstPtySlaveMajor || major >= firstPtySlaveMajor + ptySlaveMajors) {
        return std::nullopt;
    }
    return static_cast<long>((major - firstPtySlaveMajor) * 256 + ::minor(status.st_rdev));
}

// Whether the descriptor is the master of pseudo-terminal index; a kernel that does not say
// which terminal a master belongs to (no tty-index) makes every master count.
bool isMasterOf(const fs::path& process, const fs::path& descriptor, const fs::path& target, long index) {
    if (target.filename() != "ptmx") {
        return false;
    }
    std::ifstream info(process / "fdinfo" / descriptor.filename());
    constexpr std::string_view key = "tty-index:";
    for (std::string line; std::getline(info, line);) {
        if (line.starts_with(key)) {
            long value = -1;
            const auto begin = line.find_first_not_of(" \t", key.size());
            if (begin != std::string::npos) {
                std::from_chars(line.data() + begin, line.data() + line.size(), value);
            }
            return value == index;
        }
    }
    return true;
}

struct ProcessUse {
    bool holdsNode = false;
    bool holdsMaster = false;
};

// What one process has open of node (and of its master side, for a pseudo-terminal slave).
ProcessUse useOf(const fs::path& process, const std::string& node, std::optional<long> ptyIndex) {
    ProcessUse use;
    // Another user's descriptors are not readable: that process is not ours to name.
    std::error_code unreadable;
    fs::directory_iterator descriptors(process / "fd", unreadable);
    for (; !unreadable && descriptors != fs::directory_iterator(); descriptors.increment(unreadable)) {
        std::error_code gone;
        const fs::path target = fs::read_symlink(descriptors->path(), gone);
        if (gone) {
            continue;
        }
        use.holdsNode = use.holdsNode || target.string() == node;
        use.holdsMaster =
            use.holdsMaster || (ptyIndex && isMasterOf(process, descriptors->path(), target, *ptyIndex));
    }
    return use;
}

PortHolder holderOf(const fs::path& process, const std::string& pid) {
    PortHolder holder;
    std::from_chars(pid.data(), pid.data() + pid.size(), holder.pid);
    std::ifstream comm(process / "comm");
    std::string command;
    // Built whole rather than assigned after a failed getline: gcc 12's
    // -Wrestrict misreads that assignment once tsan's -O2 inlines it.
    holder.command = std::getline(comm, command) ? std::move(command) : std::string(1, '?');
    return holder;
}

} // namespace

std::vector<PortHolder> findPortHolders(const fs::path& device, const fs::path& procRoot) {
    std::vector<PortHolder> holders;
    std::vector<PortHolder> farEnds;
    if (procRoot.empty()) {
        return holders;
    }
    std::error_code error;
    const fs::path node = fs::canonical(device, error);
    if (error) {
        return holders;
    }
    const std::optional<long> ptyIndex = ptyIndexOf(node);
    const std::string self = std::to_string(::getpid());
    fs::directory_iterator processes(procRoot, error);
    for (; !error && processes != fs::directory_iterator(); processes.increment(error)) {
        const std::string pid = processes->path().filename().string();
        if (!isProcessId(pid) || pid == self) {
            continue;
        }
        const ProcessUse use = useOf(processes->path(), node.string(), ptyIndex);
        if (use.holdsNode) {
            (use.holdsMaster ? farEnds : holders).push_back(holderOf(processes->path(), pid));
        }
    }
    for (PortHolder& farEnd : farEnds) {
        farEnd.farEnd = true;
        holders.push_back(std::move(farEnd));
    }
    return holders;
}

} // namespace orvane
