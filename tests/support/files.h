// Whole files for tests: what a test lays out before a run and reads back after it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvane::test {

// Writes bytes as the whole file, replacing what was there; throws std::runtime_error when it
// cannot, so a test never goes on with an input it did not make.
void writeFile(const std::filesystem::path& path, std::string_view bytes);

// The whole file's bytes; throws std::runtime_error when it cannot be read (a file that should
// be there and is not is a test failure, not an empty text).
std::string readFile(const std::filesystem::path& path);

} // namespace orvane::test
