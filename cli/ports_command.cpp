// `orvane-cli ports`: the serial ports this machine offers, one name per line, in the order
// the dialog lists them. No ports: no lines, and still success. `--long` and `--json` add what
// tells adapters apart and why a port will not open: driver, USB identity, by-id link, access
// for this user and the programs holding it; for the ports named, or every port listed.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "serial/port_details.h"
#include "serial/port_list.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdio>
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

JsonObject& addOptional(JsonObject& object, std::string_view key, const std::optional<std::string>& value) {
    return value ? object.add(key, *value) : object.addNull(key);
}

JsonObject jsonOf(const PortDetails& port) {
    JsonObject object;
    object.add("name", port.name).add("path", port.path);
    addOptional(object, "byId", port.byId);
    addOptional(object, "driver", port.driver);
    addOptional(object, "vid", port.vid);
    addOptional(object, "pid", port.pid);
    addOptional(object, "manufacturer", port.manufacturer);
    addOptional(object, "product", port.product);
    addOptional(object, "serial", port.serial);
    if (port.latencyTimerMs) {
        object.add("latencyTimerMs", *port.latencyTimerMs);
    } else {
        object.addNull("latencyTimerMs");
    }
    object.add("access", port.access);
    const auto jsonOfHolder = [](const PortHolder& holder) {
        return JsonObject().add("pid", holder.pid).add("command", holder.command);
    };
    if (port.holder) {
        object.add("holder", jsonOfHolder(*port.holder));
    } else {
        object.addNull("holder");
    }
    std::vector<JsonObject> holders;
    for (const PortHolder& holder : port.holders) {
        holders.push_back(jsonOfHolder(holder));
    }
    object.add("holders", std::span<const JsonObject>(holders));
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

int runPorts(const PortsOptions& options) {
    if (!options.longForm && !options.json) {
        if (!options.ports.empty()) {
            std::fprintf(stderr, "ports: naming ports needs --long or --json\n");
            return exitUsage;
        }
        std::vector<std::string> names;
        // No sysfs (a container without /sys): nothing to list, which is what the user sees.
        (void)gatherPortNames(names);
        for (const std::string& name : names) {
            std::printf("%s\n", name.c_str());
        }
        return exitSuccess;
    }

    std::vector<std::string> names = options.ports;
    if (names.empty()) {
        (void)gatherPortNames(names);
    }
    Console console(options.json ? OutputMode::Json : OutputMode::Plain);
    std::vector<Row> rows{{"PORT", "DRIVER", "VID:PID", "PRODUCT", "SERIAL", "LATENCY", "ACCESS", "BY-ID"}};
    const UserIdentity user = UserIdentity::ofProcess();
    for (const std::string& name : names) {
        const PortDetails details = describePort(name, PortRoots{}, user);
        if (options.json) {
            console.event(jsonOf(details));
        } else {
            rows.push_back(rowOf(details));
        }
    }
    if (!options.json && rows.size() > 1) {
        printTable(console, rows);
    }
    return exitSuccess;
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
    command->callback([options, &status] { status = runPorts(*options); });
}

} // namespace orvane
