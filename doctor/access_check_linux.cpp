// Judged from the node's owner, group and mode against the session's groups and the group
// database, never by opening the node: an open raises DTR, which resets some cameras.
#include "doctor/linux_checks.h"
#include "doctor/user_groups.h"
#include "text/string_table.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace orvane {
namespace {

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool sessionHas(const ProcessIdentity& me, std::uint32_t gid) {
    return me.gid == gid || std::find(me.groups.begin(), me.groups.end(), gid) != me.groups.end();
}

} // namespace

std::optional<Finding> accessFinding(const PortDetails& port, const DoctorSetup& setup) {
    const auto text = [&](int id, std::initializer_list<std::string_view> args) {
        return fillText(textOf(id, setup.language), args);
    };
    struct stat node {};
    if (port.path.empty() || ::stat(port.path.c_str(), &node) != 0) {
        return Finding{Severity::Blocker, port.name, "no-device", text(IDS_DOCTOR_NO_DEVICE, {port.name})};
    }
    const std::optional<ProcessIdentity> me = processIdentity(setup.root);
    if (!me || me->uid == 0) {
        return std::nullopt; // root opens anything; without /proc there is nothing to judge by
    }
    const bool ownerMay = node.st_uid == me->uid && (node.st_mode & 0600) == 0600;
    const bool groupMay = (node.st_mode & 0060) == 0060;
    if (ownerMay || (node.st_mode & 0006) == 0006 || (groupMay && sessionHas(*me, node.st_gid))) {
        return std::nullopt;
    }
    const std::string group = groupNameOf(setup.root, node.st_gid);
    const std::string mode = modeText(node.st_mode);
    if (!groupMay) {
        return Finding{
            Severity::Blocker, port.name, "owner-only",
            text(IDS_DOCTOR_OWNER_ONLY, {port.name, userNameOf(setup.root, node.st_uid), group, mode})};
    }
    if (databaseListsInGroup(setup.root, me->uid, node.st_gid)) {
        return Finding{Severity::Blocker, port.name, "log-in-again",
                       text(IDS_DOCTOR_RELOGIN, {port.name, group})};
    }
    return Finding{Severity::Blocker, port.name, "not-in-group",
                   text(IDS_DOCTOR_NOT_IN_GROUP, {port.name, group, mode})};
}

} // namespace orvane
