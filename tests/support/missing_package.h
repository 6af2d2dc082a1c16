// The one rule for a test that needs a package the plain install lacks (srec_cat, a PostgreSQL
// server, ...): on a developer's machine it is skipped with its reason; under CI=true it fails,
// since CI installs scripts/install-deps --test first and must not go green on a proof it never
// ran. tests/support/missing_package.py says the same for the scripts CTest runs.
#pragma once

#include <string>
#include <string_view>

namespace orvane::test {

// True when the environment says CI=true (or CI=1).
bool underCi();

// The reason to skip with, naming the package; under CI it also records a fatal failure, which
// GoogleTest keeps over the skip. Use: GTEST_SKIP() << missingPackage("srecord", "no srec_cat");
std::string missingPackage(std::string_view package, std::string_view why);

} // namespace orvane::test
