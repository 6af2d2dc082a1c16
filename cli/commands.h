// The subcommands of orvane-cli. Each adds itself to the application and, when the user
// chose it, stores its exit status in the given integer.
#pragma once

namespace CLI {
class App;
}

namespace orvane {

void addPortsCommand(CLI::App& app, int& status);
void addUpgradeCommand(CLI::App& app, int& status);
void addPtzCommand(CLI::App& app, int& status);
void addMergeCommand(CLI::App& app, int& status);
void addPackageCommand(CLI::App& app, int& status);
void addSimulateCommand(CLI::App& app, int& status);
void addDemoCommand(CLI::App& app, int& status);
void addRecordsCommand(CLI::App& app, int& status);
void addDoctorCommand(CLI::App& app, int& status);
void addStationCommand(CLI::App& app, int& status);
void addLineCommand(CLI::App& app, int& status);
void addJobCommand(CLI::App& app, int& status);

} // namespace orvane
