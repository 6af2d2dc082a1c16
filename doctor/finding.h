// What the doctor found: one line a technician reads, with what to do, and how much it matters.
#pragma once

#include "text/text_language.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Info: nothing to do (or a hint); Warning: an upgrade may still work; Blocker: it will not.
enum class Severity { Info, Warning, Blocker };

// "info", "warning", "blocker": the severity as the JSON events name it.
std::string_view severityName(Severity severity);

struct Finding {
    Severity severity = Severity::Info;
    std::string port{}; // as given; empty for what concerns the whole machine
    std::string code{}; // stable, for scripts: "not-in-group", "held", "speed-limit" ...
    std::string text{}; // in the language asked for
};

struct DoctorSetup {
    // The system is read below it (sys/, dev/, proc/, etc/, run/, lib/, usr/lib/), so tests
    // give it a fake tree.
    std::filesystem::path root = "/";
    int upgradeSpeed = 9600;
    TextLanguage language = TextLanguage::English;
};

using Findings = std::vector<Finding>;

} // namespace orvane
