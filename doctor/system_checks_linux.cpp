// On Linux every check applies; each reads below the doctor's root.
#include "doctor/linux_checks.h"
#include "doctor/system_checks.h"
#include "doctor/user_groups.h"
#include "serial/port_list.h"
#include "text/string_table.h"

#include <system_error>

namespace fs = std::filesystem;

namespace orvane {
namespace {

PortRoots rootsOf(const DoctorSetup& setup) {
    return {.ttyClass = setup.root / "sys/class/tty", .dev = setup.root / "dev", .proc = setup.root / "proc"};
}

Finding holderFinding(const PortDetails& port, const PortHolder& holder, TextLanguage language) {
    const std::string pid = std::to_string(holder.pid);
    if (holder.command == "ModemManager") {
        return {Severity::Blocker, port.name, "held",
                fillText(textOf(IDS_DOCTOR_HELD_BY_MM, language), {port.name, pid})};
    }
    return {Severity::Blocker, port.name, "held",
            fillText(textOf(IDS_DOCTOR_HELD, language), {port.name, holder.command, pid})};
}

// The ftdi_sio driver holds received bytes back for its latency timer (16 ms unless lowered).
std::optional<Finding> latencyFinding(const PortDetails& port, TextLanguage language) {
    if (!port.latencyTimerMs || *port.latencyTimerMs <= 1) {
        return std::nullopt;
    }
    const std::string device = fs::path(port.path).filename().string();
    return Finding{Severity::Info, port.name, "latency-timer",
                   fillText(textOf(IDS_ADAPTER_LATENCY_HINT, language),
                            {port.name, std::to_string(*port.latencyTimerMs), device})};
}

} // namespace

std::vector<std::string> portsToExamine(const DoctorSetup& setup) {
    std::vector<std::string> names;
    (void)gatherPortNames(names, rootsOf(setup).ttyClass);
    return names;
}

PortDetails portDetailsFor(const std::string& name, const DoctorSetup& setup) {
    const std::optional<ProcessIdentity> me = processIdentity(setup.root);
    UserIdentity user;
    if (me) {
        user = {me->uid, me->gid, me->groups};
    }
    return describePort(name, rootsOf(setup), user);
}

Findings portFindings(const PortDetails& port, const DoctorSetup& setup) {
    Findings findings;
    if (auto access = accessFinding(port, setup)) {
        findings.push_back(std::move(*access));
        if (findings.back().code == "no-device") {
            return findings;
        }
    }
    // A virtual camera keeping its pseudo-terminal up is the far end of the line, not in its way.
    for (const PortHolder& holder : port.holders) {
        if (!holder.farEnd) {
            findings.push_back(holderFinding(port, holder, setup.language));
        }
    }
    Findings services = serviceFindings(port, setup);
    findings.insert(findings.end(), services.begin(), services.end());
    if (auto latency = latencyFinding(port, setup.language)) {
        findings.push_back(std::move(*latency));
    }
    // udev makes the folder for USB adapters only; without it their names may change between
    // two plugs.
    std::error_code error;
    if (port.vid && !fs::is_directory(setup.root / "dev/serial/by-id", error)) {
        findings.push_back({Severity::Warning, port.name, "no-by-id",
                            std::string(textOf(IDS_DOCTOR_NO_BY_ID, setup.language))});
    }
    return findings;
}

Findings machineFindings(const DoctorSetup& setup) {
    Findings findings;
    if (auto brltty = brlttyFinding(setup)) {
        findings.push_back(std::move(*brltty));
    }
    return findings;
}

} // namespace orvane
