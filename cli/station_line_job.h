// `station --job NAME[@VERSION]`: the station's image and settings taken from the line's
// released job instead of its own options, and the job followed through the shift.
#pragma once

#include "attempts/records_book.h"
#include "output/console.h"
#include "station/job_switch.h"
#include "station/line_job_source.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

class StationState;
class StationView;

// The options a released job fixes, as given on the command line (IMAGE among them).
std::vector<std::string> optionsTheJobFixes(const CLI::App& command);

struct LineJob {
    std::unique_ptr<LineJobSource> source;
    std::shared_ptr<const ReleasedJob> first; // what the shift starts with
    bool retired = false;                     // the job was retired: first is only held
    std::string fromCopy{};                   // why the kept copy was taken (empty: the server's)
    std::filesystem::path copyFolder{};
    std::unique_ptr<JobSwitch> follow;
};

// Checks the options and takes the job's first version: from the server, else from the copy
// kept in the state folder. Answers the exit status when the shift must not start.
std::optional<int> openLineJob(const std::string& given, const std::vector<std::string>& fixedGiven,
                               const RecordsChoice& records, Console& console, LineJob& line);

// Says what the shift starts with, in the view and the state, and writes the audit's
// 'station started' row.
void startLineJob(LineJob& line, StationView& view, StationState& state, const RecordsChoice& records);
void stopLineJob(LineJob& line, const RecordsChoice& records);

} // namespace orvane
