// Services that reach for USB serial adapters on their own: ModemManager opens each new one to
// see whether it is a modem, and brltty takes CH340 adapters for braille displays.
#include "doctor/linux_checks.h"
#include "doctor/system_tree.h"
#include "text/string_table.h"

namespace fs = std::filesystem;

namespace orvane {
namespace {

bool isCh340(const PortDetails& port) {
    return port.vid == "1a86" && port.pid == "7523";
}

// udev's record of the device (c<major>:<minor>) says whether a rule told ModemManager off.
bool udevKeepsModemManagerOff(const PortDetails& port, const fs::path& root) {
    std::optional<std::string> dev = readText(root / "sys/class/tty" / port.name / "dev");
    if (dev) {
        while (!dev->empty() && dev->back() == '\n') {
            dev->pop_back();
        }
        const auto data = readText(root / "run/udev/data" / ("c" + *dev));
        if (data && data->find("E:ID_MM_DEVICE_IGNORE=1") != std::string::npos) {
            return true;
        }
    }
    // Without that record, a rule naming the adapter and the setting will do on the next plug.
    for (const fs::path& file : udevRuleFiles(root)) {
        const std::string rules = readText(file).value_or("");
        if (rules.find("ID_MM_DEVICE_IGNORE") != std::string::npos &&
            rules.find(*port.vid) != std::string::npos &&
            rules.find(port.pid.value_or("")) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

Findings serviceFindings(const PortDetails& port, const DoctorSetup& setup) {
    Findings findings;
    if (!port.vid) {
        return findings; // only USB adapters are probed or claimed
    }
    const fs::path proc = setup.root / "proc";
    if (findRunning(proc, "ModemManager") && !udevKeepsModemManagerOff(port, setup.root)) {
        findings.push_back({Severity::Warning, port.name, "modemmanager-probes",
                            fillText(textOf(IDS_DOCTOR_MM_PROBES, setup.language),
                                     {port.name, *port.vid, port.pid.value_or("")})});
    }
    if (isCh340(port) && findRunning(proc, "brltty")) {
        findings.push_back({Severity::Blocker, port.name, "brltty-port",
                            fillText(textOf(IDS_DOCTOR_BRLTTY_PORT, setup.language), {port.name})});
    }
    return findings;
}

std::optional<Finding> brlttyFinding(const DoctorSetup& setup) {
    std::string shownBy;
    if (findRunning(setup.root / "proc", "brltty")) {
        shownBy = textOf(IDS_DOCTOR_BRLTTY_RUNNING, setup.language);
    }
    for (const fs::path& file : udevRuleFiles(setup.root)) {
        const std::string rules = readText(file).value_or("");
        if (file.filename().string().find("brltty") != std::string::npos &&
            rules.find("1a86") != std::string::npos && rules.find("7523") != std::string::npos) {
            shownBy += (shownBy.empty() ? "" : ", ") +
                       fillText(textOf(IDS_DOCTOR_BRLTTY_RULES, setup.language), {file.string()});
            break;
        }
    }
    if (shownBy.empty()) {
        return std::nullopt;
    }
    return Finding{Severity::Warning, "", "brltty",
                   fillText(textOf(IDS_DOCTOR_BRLTTY, setup.language), {shownBy})};
}

} // namespace orvane
