#include "serial/device_permission.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvane {
namespace {

std::string userName(uid_t uid) {
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return std::to_string(uid);
}

// The group's name and whether the user database lists user as a member (added, perhaps
// after this login began).
std::pair<std::string, bool> groupOf(gid_t gid, const std::string& user) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return {std::to_string(gid), false};
    }
    bool listed = false;
    for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member) {
        listed = listed || user == *member;
    }
    return {found->gr_name, listed};
}

bool processInGroup(gid_t gid) {
    if (::getegid() == gid) {
        return true;
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

} // namespace

std::optional<DevicePermission> devicePermissionOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    DevicePermission device;
    const std::string user = userName(::geteuid());
    const auto [groupName, listed] = groupOf(status.st_gid, user);
    std::array<char, 8> mode{};
    std::snprintf(mode.data(), mode.size(), "%04o", static_cast<unsigned>(status.st_mode & 07777));
    device.ownership = {userName(status.st_uid), groupName, mode.data()};
    device.ownerIsUser = status.st_uid == ::geteuid();
    device.groupMayUse = (status.st_mode & S_IRGRP) != 0 && (status.st_mode & S_IWGRP) != 0;
    device.memberNow = processInGroup(status.st_gid);
    device.memberAfterLogin = listed;
    return device;
}

} // namespace orvane
