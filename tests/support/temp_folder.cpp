#include "support/temp_folder.h"

#include <algorithm>
#include <random>
#include <stdexcept>
#include <system_error>

namespace orvane::test {

TempFolder::TempFolder() {
    // create_directory answers false for a name already taken, so the folder is ours alone;
    // mkdtemp would do the same but is not there on Windows.
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("orvane-test-" + std::to_string(random()));
        std::error_code failed;
        if (std::filesystem::create_directory(candidate, failed)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace orvane::test
