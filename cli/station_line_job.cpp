#include "cli/station_line_job.h"

#include "cli/exit_codes.h"
#include "cli/station_view.h"
#include "records/job_name.h"
#include "records/store_place.h"
#include "records/writer_identity.h"
#include "station/job_copy.h"
#include "station/station_state.h"

namespace orvane {
namespace {

std::string stationName(const RecordsChoice& records) {
    return records.station.empty() ? thisWriter().host : records.station;
}

void noteStation(LineJob& line, std::string_view action, const RecordsChoice& records) {
    if (line.source) {
        line.source->noteStation(action, line.follow ? line.follow->forNewPlug().get() : line.first.get(),
                                 stationName(records), thisWriter().host, records.operatorName);
    }
}

// The server not answering: the version kept in the state folder, if it is the one asked for.
std::optional<int> startFromCopy(const JobReference& pin, const std::string& why, Console& console,
                                 LineJob& line) {
    JobCopy copy = readJobCopy(line.copyFolder, pin.name);
    if (copy.job && pin.version && copy.job->version != *pin.version) {
        copy = {std::nullopt, "the copy kept is version " + std::to_string(copy.job->version)};
    }
    if (!copy.job) {
        return console.result(
            {exitUnusable, "the line's server does not answer (" + why + ") and " + copy.refusal});
    }
    line.first = std::make_shared<const ReleasedJob>(std::move(*copy.job));
    line.fromCopy = why;
    return std::nullopt;
}

} // namespace

std::vector<std::string> optionsTheJobFixes(const CLI::App& command) {
    std::vector<std::string> given;
    for (const char* name : {"IMAGE", "--target", "--address", "--bps", "--upbps", "--low-latency",
                             "--max-resends", "--approved"}) {
        if (command.count(name) > 0) {
            given.emplace_back(name);
        }
    }
    return given;
}

std::optional<int> openLineJob(const std::string& given, const std::vector<std::string>& fixedGiven,
                               const RecordsChoice& records, Console& console, LineJob& line) {
    if (!fixedGiven.empty()) {
        return console.result({exitUsage, "station --job: " + fixedGiven.front() +
                                              " cannot be given, the released job fixes it"});
    }
    const StorePlace place = storePlaceOf(records.place);
    if (place.kind != StorePlaceKind::server) {
        return console.result(
            {exitUsage, "station --job needs --records postgresql://... (the line's server)"});
    }
    const JobReferenceReading pin = readJobReference(given);
    if (!pin.reference) {
        return console.result({exitUsage, "station --job: " + pin.refusal});
    }
    line.copyFolder = defaultRecordsFile().parent_path() / "jobs";
    line.source = std::make_unique<LineJobSource>(place.where, *pin.reference, line.copyFolder);
    JobLook first = line.source->first();
    if (first.kind == JobLook::Kind::Refused) {
        return console.result({exitUnusable, "--job " + given + ": " + first.reason});
    }
    if (first.kind == JobLook::Kind::Unanswered) {
        if (const auto refused = startFromCopy(*pin.reference, first.reason, console, line)) {
            return refused;
        }
    } else {
        // A retired job starts the station all the same: its cameras wait for a release.
        line.first = std::move(first.job);
        line.retired = first.kind == JobLook::Kind::Retired;
    }
    line.follow =
        std::make_unique<JobSwitch>(*line.source, line.first, JobStart{line.fromCopy.empty(), line.retired});
    return std::nullopt;
}

void startLineJob(LineJob& line, StationView& view, StationState& state, const RecordsChoice& records) {
    if (!line.fromCopy.empty()) {
        const std::u8string folder = line.copyFolder.u8string();
        view.jobFromCopy(*line.first, line.fromCopy, {folder.begin(), folder.end()});
    }
    view.jobNote({line.retired ? JobNote::Kind::Retired : JobNote::Kind::Taken, line.first});
    state.jobTaken(*line.first);
    if (line.retired) {
        state.jobRetired();
    }
    noteStation(line, "station started", records);
}

void stopLineJob(LineJob& line, const RecordsChoice& records) {
    noteStation(line, "station stopped", records);
}

} // namespace orvane
