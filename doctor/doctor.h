// The pre-flight check for "it does not work": for each port, whether this user may open it,
// which program holds it or would probe it, and whether the adapter and the chosen upgrade
// speed go together; for the machine, services known to take adapters away. The system is
// only looked at: no port is opened (an open raises DTR, which resets some devices).
#pragma once

#include "doctor/finding.h"

#include <string>
#include <vector>

namespace orvane {

// The findings for ports (names as devicePathOf takes them), or for every serial port found
// when none are given; a port with nothing to report gets an "ok" finding.
Findings examinePorts(const std::vector<std::string>& ports, const DoctorSetup& setup);

// Whether any finding stops an upgrade.
bool anyBlocker(const Findings& findings);

} // namespace orvane
