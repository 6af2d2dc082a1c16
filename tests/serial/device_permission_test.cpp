// The remedy a refused open is answered with, from the node's owner, group and mode.
#include "serial/device_permission.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct AdviceCase {
    const char* name;
    DevicePermission device;
    PermissionAdvice advice;
    const char* mentions;
};

class RefusedOpen : public ::testing::TestWithParam<AdviceCase> {};

TEST_P(RefusedOpen, AdvisesWhatTheNodeAllows) {
    const AdviceCase& test = GetParam();
    EXPECT_EQ(permissionAdviceFor(test.device), test.advice);
    const std::string message =
        portPermissionDenied("ttyUSB0", test.advice, test.device.ownership, TextLanguage::English);
    EXPECT_NE(message.find(test.mentions), std::string::npos) << message;
    EXPECT_NE(portPermissionDenied("ttyUSB0", test.advice, test.device.ownership, TextLanguage::Chinese),
              message);
}

INSTANTIATE_TEST_SUITE_P(
    Nodes, RefusedOpen,
    ::testing::Values(AdviceCase{"DialoutNode",
                                 {{"root", "dialout", "0660"}, false, true, false, false},
                                 PermissionAdvice::JoinGroup,
                                 "sudo usermod -aG dialout $USER"},
                      AdviceCase{"AnotherGroupsNode",
                                 {{"root", "uucp", "0660"}, false, true, false, false},
                                 PermissionAdvice::JoinGroup,
                                 "the uucp group"},
                      AdviceCase{"JoinedButNotLoggedInAgain",
                                 {{"root", "dialout", "0660"}, false, true, false, true},
                                 PermissionAdvice::LogInAgain,
                                 "newgrp dialout"},
                      AdviceCase{"RootsAlone",
                                 {{"root", "root", "0600"}, false, false, false, false},
                                 PermissionAdvice::OwnerOnly,
                                 "Only root may use it (group root, mode 0600)"},
                      AdviceCase{"GroupMayOnlyRead",
                                 {{"root", "dialout", "0640"}, false, false, true, true},
                                 PermissionAdvice::OwnerOnly,
                                 "joining a group does not help"}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
} // namespace orvane
