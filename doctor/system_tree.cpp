#include "doctor/system_tree.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace orvane {

std::optional<std::string> readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

std::optional<RunningProgram> findRunning(const fs::path& procRoot, std::string_view command) {
    std::error_code error;
    for (fs::directory_iterator it(procRoot, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        std::optional<std::string> comm = readText(it->path() / "comm");
        if (!comm) {
            continue;
        }
        while (!comm->empty() && comm->back() == '\n') {
            comm->pop_back();
        }
        if (*comm == command) {
            return RunningProgram{std::stoi(name), *comm};
        }
    }
    return std::nullopt;
}

std::vector<fs::path> udevRuleFiles(const fs::path& root) {
    constexpr std::array folders{"etc/udev/rules.d", "run/udev/rules.d", "lib/udev/rules.d",
                                 "usr/lib/udev/rules.d"};
    std::vector<fs::path> files;
    for (const char* folder : folders) {
        std::error_code error;
        for (fs::directory_iterator it(root / folder, error), end; !error && it != end; it.increment(error)) {
            if (it->path().extension() == ".rules") {
                files.push_back(it->path());
            }
        }
    }
    return files;
}

} // namespace orvane
