// The reasons a front end shows when a port does not open.
#include "text/failure_messages.h"

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
    const std::string reason = portFailureReason(GetParam().err, TextLanguage::English);
    EXPECT_NE(reason.find(GetParam().mentions), std::string::npos) << reason;
    EXPECT_NE(portFailureReason(GetParam().err, TextLanguage::Chinese), reason) << "said in Chinese too";
}

INSTANTIATE_TEST_SUITE_P(
    Errors, OpenFailureReason,
    ::testing::Values(ReasonCase{EACCES, true, "sudo usermod -aG dialout $USER, then log in again"},
                      ReasonCase{EPERM, true, "dialout group"}, ReasonCase{EBUSY, false, "another program"},
                      ReasonCase{ENOENT, false, "no such device"}, ReasonCase{EIO, false, "unplugged"},
                      ReasonCase{ENOTSUP, false, "refused the line settings"}));

} // namespace
} // namespace orvane
