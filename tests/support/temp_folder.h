// A folder of a test's own under the system's temporary folder, gone with everything in it
// when the test is done, so no run leaves files behind or sees another run's.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::test {

class TempFolder {
  public:
    // Throws std::runtime_error when no folder can be made.
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of name inside the folder (name may hold sub-folders).
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    // The names of everything directly inside, sorted.
    std::vector<std::string> entries() const;

  private:
    std::filesystem::path path_;
};

} // namespace orvane::test
