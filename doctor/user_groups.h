// Who this process is and which groups the user has, from /proc/self/status and the group
// database (/etc/passwd, /etc/group) below the doctor's root. The two differ after a user is
// added to a group: the database lists the user at once, the session only after a new login.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct ProcessIdentity {
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::vector<std::uint32_t> groups{}; // supplementary, as the session has them now
};

// From proc/self/status below root; nothing when it cannot be read.
std::optional<ProcessIdentity> processIdentity(const std::filesystem::path& root);

// The name of user uid or group gid (etc/passwd, etc/group); the number itself when unlisted.
std::string userNameOf(const std::filesystem::path& root, std::uint32_t uid);
std::string groupNameOf(const std::filesystem::path& root, std::uint32_t gid);

// Whether the database gives user uid group gid: as primary group, or among its members.
bool databaseListsInGroup(const std::filesystem::path& root, std::uint32_t uid, std::uint32_t gid);

} // namespace orvane
