// Whether two names reach one file: another spelling of a path, a hard link or a symbolic
// link all name the file a write would replace, so outputs are compared with inputs by
// identity, never by name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

struct FileIdentity {
    std::uint64_t device = 0; // st_dev; the volume serial number on Windows
    std::uint64_t file = 0;   // st_ino; the file index on Windows
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file path names, links followed; nothing when no file is there (or it
// cannot be looked at, in which case writing it fails on its own).
std::optional<FileIdentity> fileIdentityOf(const std::string& path);

} // namespace orvane
