// The reasons a front end shows when a port does not open.
#include "serial/open_failure.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace orvane {
namespace {

struct ReasonCase {
    int err;
    bool permission;
    const char* mentions;
};

class OpenFailureReason : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(OpenFailureReason, TellsTheTechnicianWhatToDo) {
    EXPECT_EQ(isPermissionError(GetParam().err), GetParam().permission);
    EXPECT_NE(openFailureReason(GetParam().err).find(GetParam().mentions), std::string::npos)
        << openFailureReason(GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, OpenFailureReason,
    ::testing::Values(ReasonCase{EACCES, true, "sudo usermod -aG dialout $USER, then log in again"},
                      ReasonCase{EPERM, true, "dialout group"}, ReasonCase{EBUSY, false, "another program"},
                      ReasonCase{ENOENT, false, "no such device"}, ReasonCase{EMFILE, false, "open files"}));

} // namespace
} // namespace orvane
