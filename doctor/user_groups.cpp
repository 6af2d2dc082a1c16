#include "doctor/user_groups.h"

#include "doctor/system_tree.h"

#include <charconv>
#include <sstream>
#include <string_view>

namespace orvane {
namespace {

std::vector<std::string> fieldsOf(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) {
        fields.push_back(field);
    }
    if (!line.empty() && line.back() == separator) {
        fields.emplace_back();
    }
    return fields;
}

std::optional<std::uint32_t> numberOf(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

// The database line whose third field is id: name:x:id:...
std::optional<std::vector<std::string>> entryWithId(const std::filesystem::path& file, std::uint32_t id) {
    std::istringstream in(readText(file).value_or(""));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields = fieldsOf(line, ':');
        if (fields.size() >= 4 && numberOf(fields[2]) == id) {
            return fields;
        }
    }
    return std::nullopt;
}

// The numbers after "Key:" in a status line, tabs and spaces apart.
std::vector<std::uint32_t> statusNumbers(const std::string& status, std::string_view key) {
    std::istringstream in(status);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) == 0) {
            std::istringstream numbers(line.substr(key.size()));
            std::vector<std::uint32_t> values;
            for (std::uint32_t value = 0; numbers >> value;) {
                values.push_back(value);
            }
            return values;
        }
    }
    return {};
}

} // namespace

std::optional<ProcessIdentity> processIdentity(const std::filesystem::path& root) {
    const std::optional<std::string> status = readText(root / "proc/self/status");
    if (!status) {
        return std::nullopt;
    }
    const std::vector<std::uint32_t> uid = statusNumbers(*status, "Uid:");
    const std::vector<std::uint32_t> gid = statusNumbers(*status, "Gid:");
    if (uid.empty() || gid.empty()) {
        return std::nullopt;
    }
    // The effective ids decide an open: the second of real, effective, saved, file system.
    return ProcessIdentity{uid[uid.size() > 1 ? 1 : 0], gid[gid.size() > 1 ? 1 : 0],
                           statusNumbers(*status, "Groups:")};
}

std::string userNameOf(const std::filesystem::path& root, std::uint32_t uid) {
    const auto entry = entryWithId(root / "etc/passwd", uid);
    return entry ? entry->front() : std::to_string(uid);
}

std::string groupNameOf(const std::filesystem::path& root, std::uint32_t gid) {
    const auto entry = entryWithId(root / "etc/group", gid);
    return entry ? entry->front() : std::to_string(gid);
}

bool databaseListsInGroup(const std::filesystem::path& root, std::uint32_t uid, std::uint32_t gid) {
    const auto user = entryWithId(root / "etc/passwd", uid);
    if (!user) {
        return false;
    }
    if (numberOf((*user)[3]) == gid) {
        return true;
    }
    const auto group = entryWithId(root / "etc/group", gid);
    if (!group) {
        return false;
    }
    for (const std::string& member : fieldsOf((*group)[3], ',')) {
        if (member == user->front()) {
            return true;
        }
    }
    return false;
}

} // namespace orvane
