// The checks that depend on the operating system: Linux reads sysfs, /proc, the group database
// and the udev rules below the doctor's root; Windows checks what applies there.
#pragma once

#include "doctor/finding.h"
#include "serial/port_details.h"

#include <string>
#include <vector>

namespace orvane {

// The serial ports found, for a doctor run without port names.
std::vector<std::string> portsToExamine(const DoctorSetup& setup);
// The port's details as this system tells them.
PortDetails portDetailsFor(const std::string& name, const DoctorSetup& setup);
// Whether the user may open the port, who holds it, who would probe it.
Findings portFindings(const PortDetails& port, const DoctorSetup& setup);
// What concerns every port of the machine.
Findings machineFindings(const DoctorSetup& setup);

} // namespace orvane
