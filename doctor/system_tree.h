// Reading the system's files below the doctor's root: small text files, the programs running
// and the udev rules in force.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The whole of a small text file (sysfs, /proc, /etc); nothing when it cannot be read.
std::optional<std::string> readText(const std::filesystem::path& file);

struct RunningProgram {
    int pid = 0;
    std::string command{}; // /proc/PID/comm, without its line feed
};

// The first program named command among the processes under procRoot.
std::optional<RunningProgram> findRunning(const std::filesystem::path& procRoot, std::string_view command);

// The udev rules files below root, in the folders udev reads them from.
std::vector<std::filesystem::path> udevRuleFiles(const std::filesystem::path& root);

} // namespace orvane
