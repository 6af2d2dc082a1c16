#include "cli/common_options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <span>
#include <vector>

namespace orvane {
namespace {

CLI::Validator speedList(std::span<const int> speeds) {
    std::string names;
    for (const int speed : speeds) {
        names += names.empty() ? "" : ",";
        names += std::to_string(speed);
    }
    return CLI::Validator(
        [set = std::vector<int>(speeds.begin(), speeds.end()), names](std::string& text) -> std::string {
            int value = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc{} || end != text.data() + text.size() ||
                std::find(set.begin(), set.end(), value) == set.end()) {
                return "speed " + text + " is not one of " + names;
            }
            return {};
        },
        "SPEED in {" + names + "}");
}

} // namespace

CLI::Option* addLanguageOption(CLI::App& command, std::string& language) {
    return command.add_option("--lang", language, "Language of the messages: en or zh")
        ->check(CLI::IsMember({"en", "zh"}))
        ->capture_default_str();
}

CLI::Option* addLowLatencyOption(CLI::App& command, bool& lowLatency) {
    return command.add_flag(
        "--low-latency", lowLatency,
        "React to the camera's replies as they come instead of polling (same frames, "
        "same time limits, shorter gaps); off: each reply is read at the next poll, every "
        "5 ms for a data block's answer and 100 ms for the others");
}

CLI::Option* addAllowAnyImageOption(CLI::App& command, bool& allow) {
    return command.add_flag("--allow-any-image", allow,
                            "Send an image that is Intel HEX text or an ELF file instead of refusing it");
}

TextLanguage languageNamed(const std::string& language) {
    return language == "zh" ? TextLanguage::Chinese : TextLanguage::English;
}

UpgradeTarget targetNamed(const std::string& name) {
    if (name == "motor") {
        return UpgradeTarget::MotorBoard;
    }
    return name == "special" ? UpgradeTarget::Special : UpgradeTarget::MainBoard;
}

CLI::Option* addLineSpeedOption(CLI::App& command, int& speed, const std::string& name) {
    return command.add_option(name, speed, "Line speed in bits per second")
        ->check(speedList(lineSpeeds))
        ->capture_default_str();
}

CLI::Option* addUpgradeSpeedOption(CLI::App& command, int& speed) {
    return command
        .add_option("--upbps", speed, "Speed of the transfer after the enter command, bits per second")
        ->check(speedList(upgradeSpeeds))
        ->capture_default_str();
}

CLI::Option* addAddressOption(CLI::App& command, int& address) {
    return command.add_option("--address", address, "Camera address, 0 to 255")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
}

} // namespace orvane
