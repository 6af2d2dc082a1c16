#include "doctor/doctor.h"

#include "doctor/speed_limits.h"
#include "doctor/system_checks.h"
#include "text/string_table.h"

#include <algorithm>

namespace orvane {

std::string_view severityName(Severity severity) {
    switch (severity) {
    case Severity::Info:
        return "info";
    case Severity::Warning:
        return "warning";
    case Severity::Blocker:
        break;
    }
    return "blocker";
}

Findings examinePorts(const std::vector<std::string>& ports, const DoctorSetup& setup) {
    Findings findings = machineFindings(setup);
    const std::vector<std::string> names = ports.empty() ? portsToExamine(setup) : ports;
    if (names.empty()) {
        findings.push_back(
            {Severity::Blocker, "", "no-ports", std::string(textOf(IDS_DOCTOR_NO_PORTS, setup.language))});
    }
    for (const std::string& name : names) {
        const PortDetails details = portDetailsFor(name, setup);
        Findings found = portFindings(details, setup);
        if (auto limit = speedLimitFinding(details, setup)) {
            found.push_back(std::move(*limit));
        }
        const bool clear = std::none_of(found.begin(), found.end(),
                                        [](const Finding& f) { return f.severity != Severity::Info; });
        if (clear) {
            found.push_back(
                {Severity::Info, name, "ok", fillText(textOf(IDS_DOCTOR_OK, setup.language), {name})});
        }
        findings.insert(findings.end(), found.begin(), found.end());
    }
    return findings;
}

bool anyBlocker(const Findings& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity == Severity::Blocker; });
}

} // namespace orvane
