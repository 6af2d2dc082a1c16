// The Linux checks, each reading the system below the doctor's root.
#pragma once

#include "doctor/finding.h"
#include "serial/port_details.h"

#include <optional>

namespace orvane {

// Whether this process may open the port's node, and if not, whether joining its group, a new
// login or only the administrator helps. Missing node: no-device.
std::optional<Finding> accessFinding(const PortDetails& port, const DoctorSetup& setup);

// ModemManager about to probe the adapter; brltty running beside a CH340 on this port.
Findings serviceFindings(const PortDetails& port, const DoctorSetup& setup);

// brltty's claim on CH340 adapters, from its process or its udev rules.
std::optional<Finding> brlttyFinding(const DoctorSetup& setup);

} // namespace orvane
