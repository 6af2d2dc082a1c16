#include "support/missing_package.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace orvane::test {

bool underCi() {
    const char* ci = std::getenv("CI");
    if (ci == nullptr)
        return false;
    const std::string_view value(ci);
    return value == "true" || value == "TRUE" || value == "True" || value == "1";
}

std::string missingPackage(std::string_view package, std::string_view why) {
    std::string reason(why);
    reason += " (package ";
    reason += package;
    reason += "; scripts/install-deps --test installs it)";
    // Fatal, so that a test body after the SetUp that asked is not run without its tool.
    if (underCi())
        [&] { FAIL() << reason << ": CI=true runs every proof"; }();
    return reason;
}

} // namespace orvane::test
