// `orvane-cli ports`: the serial ports this machine offers, one name per line, in the order
// the dialog lists them. No ports: no lines, and still success. `--long` and `--json` add what
// tells adapters apart and why a port will not open: driver, USB identity, by-id link, access
// for this user and the programs holding it; for the ports named (status 3 when one of them
// cannot be opened), or every port listed.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "output/console.h"
#include "serial/port_details.h"
#include "serial/port_list.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orvane {
namespace {

struct PortsOptions {
    std::vector<std::string> ports;
    bool longForm = false;
    bool json = false;
};

// Missing facts are null, so every port event has every key.
JsonFields orNull(const std::optional<std::string>& value) {
    return value ? JsonFields(*value) : JsonFields(nullptr);
}

JsonFields jsonOf(const PortDetails& port) {
    JsonFields object{{"name", port.name},
                      {"path", port.path},
                      {"byId", orNull(port.byId)},
                      {"driver", orNull(port.driver)},
                      {"vid", orNull(port.vid)},
                      {"pid", orNull(port.pid)},
                      {"manufacturer", orNull(port.manufacturer)},
                      {"product", orNull(port.product)},
                      {"serial", orNull(port.serial)}};
    object["latencyTimerMs"] = port.latencyTimerMs ? JsonFields(*port.latencyTimerMs) : JsonFields(nullptr);
    object["access"] = port.access;
    const auto jsonOfHolder = [](const PortHolder& holder) {
        return JsonFields{{"pid", holder.pid}, {"command", holder.command}};
    };
    object["holder"] = port.holder ? jsonOfHolder(*port.holder) : JsonFields(nullptr);
    JsonFields holders = JsonFields::array();
    for (const PortHolder& holder : port.holders) {
        holders.push_back(jsonOfHolder(holder));
    }
    object["holders"] = std::move(holders);
    return object;
}

constexpr std::size_t columnCount = 8;
using Row = std::array<std::string, columnCount>;

Row rowOf(const PortDetails& port) {
    const auto shown = [](const std::optional<std::string>& value) { return value.value_or("-"); };
    std::string usbId = port.vid ? *port.vid + ":" + port.pid.value_or("?") : "-";
    // A port another program holds is not free to use, whatever this user may do there.
    std::string access = port.holders.empty() || port.access != portAccessOk ? port.access : "busy";
    for (std::size_t i = 0; i < port.holders.size(); ++i) {
        access += (i == 0 ? ", held by " : ", ") + port.holders[i].command + " (" +
                  std::to_string(port.holders[i].pid) + ")";
    }
    std::string latency = port.latencyTimerMs ? std::to_string(*port.latencyTimerMs) + " ms" : "-";
    return {port.name,          shown(port.driver), std::move(usbId),  shown(port.product),
            shown(port.serial), std::move(latency), std::move(access), shown(port.byId)};
}

// Columns padded to their widest cell; the last one is not padded.
void printTable(Console& console, const std::vector<Row>& rows) {
    std::array<std::size_t, columnCount> widths{};
    for (const Row& row : rows) {
        for (std::size_t i = 0; i < columnCount; ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < columnCount; ++i) {
            line += row[i];
            if (i + 1 < columnCount) {
                line.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        console.line(line);
    }
}

// Ports named on the command line that this user cannot open: "ttyUSB9: no such device".
std::string unusableOf(const std::vector<PortDetails>& ports) {
    std::string unusable;
    for (const PortDetails& port : ports) {
        if (port.access != portAccessOk) {
            unusable += (unusable.empty() ? "" : "; ") + port.name + ": " + port.access;
        }
    }
    return unusable;
}

int runPorts(const PortsOptions& options, Console& console) {
    if (!options.longForm && !options.json) {
        if (!options.ports.empty()) {
            return console.result({exitUsage, "ports: naming ports needs --long or --json"});
        }
        std::vector<std::string> names;
        // No sysfs (a container without /sys): nothing to list, which is what the user sees.
        (void)gatherPortNames(names);
        for (const std::string& name : names) {
            console.line(name);
        }
        return exitSuccess;
    }

    std::vector<std::string> names = options.ports;
    if (names.empty()) {
        (void)gatherPortNames(names);
    }
    std::vector<PortDetails> ports;
    const UserIdentity user = UserIdentity::ofProcess();
    for (const std::string& name : names) {
        ports.push_back(describePort(name, PortRoots{}, user));
        console.event("port", jsonOf(ports.back()));
    }
    if (!options.json && !ports.empty()) {
        std::vector<Row> rows{
            {"PORT", "DRIVER", "VID:PID", "PRODUCT", "SERIAL", "LATENCY", "ACCESS", "BY-ID"}};
        std::transform(ports.begin(), ports.end(), std::back_inserter(rows), rowOf);
        printTable(console, rows);
    }
    // A port asked for by name that cannot be opened fails the command, as it would an upgrade;
    // the machine's own list is only shown.
    const std::string unusable = options.ports.empty() ? std::string() : unusableOf(ports);
    if (!unusable.empty()) {
        return console.result({exitUnusable, "Cannot use " + unusable});
    }
    return console.result({.exitCode = exitSuccess,
                           .text = std::to_string(ports.size()) + (ports.size() == 1 ? " port" : " ports"),
                           .shown = true});
}

} // namespace

void addPortsCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<PortsOptions>();
    CLI::App* command = app.add_subcommand("ports", "List the serial ports of this machine");
    command->add_option("PORT", options->ports,
                        "Ports to describe (with --long or --json): ttyUSB0, /dev/serial/by-id/...");
    auto* longForm = command->add_flag(
        "--long", options->longForm, "A table: driver, USB id, product, serial, access, holder, by-id link");
    command->add_flag("--json", options->json, "One JSON object per port")->excludes(longForm);
    command->callback([options, &status] {
        Console console(options->json ? OutputMode::Json : OutputMode::Plain);
        status = console.finish(runPorts(*options, console));
    });
}

} // namespace orvane
