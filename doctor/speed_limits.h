// Adapters known to lose bytes at high speeds, against the speed an upgrade is to run at.
#pragma once

#include "doctor/finding.h"
#include "serial/port_details.h"

#include <optional>

namespace orvane {

// A warning when port's adapter is one serial flashers report failing above 115200 bit/s on
// some chips (CH340, PL2303) and the upgrade speed reaches that figure.
std::optional<Finding> speedLimitFinding(const PortDetails& port, const DoctorSetup& setup);

} // namespace orvane
