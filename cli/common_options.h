// Options several subcommands share, spelled and checked the same way everywhere.
#pragma once

#include "text/text_language.h"
#include "upgrade/frames.h"

#include <CLI/CLI.hpp>
#include <string>

namespace orvane {

// The speeds the dialog offers for the line and for the upgrade; the command line also takes
// the faster rates USB adapters (FTDI, CP210x) run for the upgrade, for a loader that does.
inline constexpr int lineSpeeds[] = {300,   600,   1200,  2400,  4800,  9600,
                                     14400, 19200, 28800, 38400, 57600, 115200};
inline constexpr int upgradeSpeeds[] = {1200,  2400,  4800,   9600,   14400,  19200, 28800,
                                        38400, 57600, 115200, 230400, 460800, 921600};
inline constexpr int defaultSpeed = 9600;
inline constexpr int defaultAddress = 1;

// --lang en|zh (English by default).
CLI::Option* addLanguageOption(CLI::App& command, std::string& language);
// --low-latency: the job reacts to the camera's replies as they come.
CLI::Option* addLowLatencyOption(CLI::App& command, bool& lowLatency);
// --allow-any-image: send an image that looks like Intel HEX text or an ELF file all the same.
CLI::Option* addAllowAnyImageOption(CLI::App& command, bool& allow);
// The language of "en" or "zh"; each command hands it to the core explicitly.
TextLanguage languageNamed(const std::string& language);
// The board of --target main|motor|special (the main board by default).
UpgradeTarget targetNamed(const std::string& name);

CLI::Option* addLineSpeedOption(CLI::App& command, int& speed, const std::string& name = "--bps");
CLI::Option* addUpgradeSpeedOption(CLI::App& command, int& speed);
CLI::Option* addAddressOption(CLI::App& command, int& address);

} // namespace orvane
