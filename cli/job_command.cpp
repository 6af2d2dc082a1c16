// `orvane-cli job`: the jobs of a line, kept in its PostgreSQL database. An engineer releases
// an image with its settings as the next version of a job (release), lists them (list), shows
// one version (show), stops one (retire) and reads who did what and when (history), each as
// lines for a person or, with --json, one event a job or audit entry.
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "cli/image_approval.h"
#include "output/console.h"
#include "output/text_table.h"
#include "records/job_name.h"
#include "records/line_jobs.h"
#include "records/record_time.h"
#include "records/store_place.h"
#include "records/writer_identity.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>

namespace orvane {
namespace {

struct JobOptions {
    std::string records;
    std::string job; // NAME or NAME@VERSION as given
    std::string image;
    std::string target = "main";
    LineJobSettings settings;
    std::string note;
    std::string operatorName;
    std::string language = "en";
    bool json = false;
};

// The line's jobs, or the exit status once the refusal is said.
std::optional<int> openJobs(const JobOptions& o, Console& console, std::unique_ptr<LineJobs>& jobs) {
    if (storePlaceOf(o.records).kind != StorePlaceKind::server) {
        return console.result({exitUsage,
                               "job: a line's jobs live in its PostgreSQL database: give --records "
                               "postgresql://ROLE@HOST/DATABASE"});
    }
    JobsStatus status;
    jobs = LineJobs::open(o.records, status);
    if (!jobs) {
        return console.result({exitUsage, "job: " + status.reason});
    }
    return std::nullopt;
}

int refused(Console& console, const JobsStatus& status) {
    return console.result({exitUnusable, status.reason});
}

std::string timeText(std::int64_t ms) {
    return isoMoment(ms, false);
}

JsonFields timeField(std::int64_t ms) {
    return utcTimestamp(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
}

JsonFields nullable(const std::string& text) {
    return text.empty() ? JsonFields() : JsonFields(text);
}

JsonFields jobFields(const StoredJob& job, const JobState* state) {
    const LineJobSettings& s = job.settings;
    JsonFields fields = {{"name", job.name},
                         {"version", job.version},
                         {"retired", state != nullptr && state->retired},
                         {"image", job.imageName},
                         {"imageSize", job.imageSize},
                         {"sha256", job.imageSha256},
                         {"target", s.target},
                         {"address", s.address},
                         {"lineSpeed", s.lineSpeed},
                         {"upgradeSpeed", s.upgradeSpeed},
                         {"lowLatency", s.lowLatency},
                         {"maxResends", s.maxResends},
                         {"note", nullable(job.note)},
                         {"released", timeField(job.releasedAtMs)},
                         {"releasedBy", job.releasedBy},
                         {"operator", nullable(job.operatorName)}};
    const bool retired = state != nullptr && state->retired;
    fields["retiredAt"] = retired ? timeField(state->retiredAtMs) : JsonFields();
    fields["retiredBy"] = retired ? JsonFields(state->retiredBy) : JsonFields();
    return fields;
}

std::string settingsText(const LineJobSettings& s) {
    return s.target + " board, address " + std::to_string(s.address) + ", " + std::to_string(s.lineSpeed) +
           "/" + std::to_string(s.upgradeSpeed) + " bps" + (s.lowLatency ? ", low latency" : "") +
           (s.maxResends > 0 ? ", at most " + std::to_string(s.maxResends) + " resends" : "");
}

void showJob(Console& console, const StoredJob& job) {
    if (console.json()) {
        console.event("job", jobFields(job, nullptr));
        return;
    }
    std::vector<std::vector<std::string>> rows = {
        {"Job", job.name + "@" + std::to_string(job.version)},
        {"Image", job.imageName + " (" + std::to_string(job.imageSize) + " bytes)"},
        {"SHA-256", job.imageSha256},
        {"Settings", settingsText(job.settings)},
        {"Released", timeText(job.releasedAtMs) + " by " + job.releasedBy +
                         (job.operatorName.empty() ? "" : " (" + job.operatorName + ")")}};
    if (!job.note.empty()) {
        rows.push_back({"Note", job.note});
    }
    printTextTable(console, rows);
}

int releaseJob(const JobOptions& o, Console& console) {
    if (std::string problem = jobNameProblem(o.job); !problem.empty()) {
        return console.result({exitUsage, "job release: " + problem});
    }
    std::optional<FirmwareImage> image;
    const TextLanguage language = languageNamed(o.language);
    if (const auto refusal = acceptImage({o.image, {}, o.target, {}, language}, console, image)) {
        return *refusal;
    }
    std::unique_ptr<LineJobs> jobs;
    if (const auto refusal = openJobs(o, console, jobs)) {
        return *refusal;
    }
    JobRelease release{o.job, o.image, image->bytes, image->sha256, o.settings, o.note, o.operatorName};
    release.settings.target = o.target;
    if (release.operatorName.empty()) {
        release.operatorName = loginName();
    }
    std::int64_t version = 0;
    if (const JobsStatus status = jobs->release(release, version); !status.ok) {
        return refused(console, status);
    }
    const FetchedJob released = jobs->fetch(o.job, version);
    if (released.job) {
        showJob(console, *released.job);
    }
    return console.result({exitSuccess, "Released " + o.job + "@" + std::to_string(version) +
                                            ": stations running " + o.job + " take it between two attempts"});
}

// The latest version of a job with its state, from the list (no image is sent for it).
std::optional<JobState> jobState(LineJobs& jobs, const std::string& name, JobsStatus& status) {
    for (JobState& state : jobs.list(status)) {
        if (state.latest.name == name) {
            return std::move(state);
        }
    }
    if (status.ok) {
        status = {false, false,
                  "No job " + name + " on this line (orvane-cli job list shows the jobs released)"};
    }
    return std::nullopt;
}

int showOne(const JobOptions& o, Console& console) {
    const JobReferenceReading reading = readJobReference(o.job);
    if (!reading.reference) {
        return console.result({exitUsage, "job show: " + reading.refusal});
    }
    std::unique_ptr<LineJobs> jobs;
    if (const auto refusal = openJobs(o, console, jobs)) {
        return *refusal;
    }
    JobsStatus status;
    const std::optional<JobState> state = jobState(*jobs, reading.reference->name, status);
    if (!state) {
        return refused(console, status);
    }
    StoredJob job = state->latest;
    if (reading.reference->version) {
        FetchedJob fetched = jobs->fetch(job.name, reading.reference->version);
        if (!fetched.job) {
            return refused(console, fetched.status);
        }
        job = std::move(*fetched.job);
    }
    if (console.json()) {
        console.event("job", jobFields(job, &*state));
    } else {
        showJob(console, job);
    }
    const std::string shown = job.name + "@" + std::to_string(job.version);
    return console.result({.exitCode = exitSuccess,
                           .text = state->retired
                                       ? shown + ": the job is retired since " +
                                             timeText(state->retiredAtMs) + " (" + state->retiredBy + ")"
                                       : shown,
                           .shown = !state->retired});
}

int listJobs(const JobOptions& o, Console& console) {
    std::unique_ptr<LineJobs> jobs;
    if (const auto refusal = openJobs(o, console, jobs)) {
        return *refusal;
    }
    JobsStatus status;
    const std::vector<JobState> states = jobs->list(status);
    if (!status.ok) {
        return refused(console, status);
    }
    std::vector<std::vector<std::string>> rows = {
        {"JOB", "VERSION", "STATE", "IMAGE", "SHA-256", "RELEASED", "BY"}};
    for (const JobState& state : states) {
        const StoredJob& job = state.latest;
        if (console.json()) {
            console.event("job", jobFields(job, &state));
        }
        rows.push_back({job.name, std::to_string(job.version), state.retired ? "retired" : "active",
                        job.imageName, job.imageSha256.substr(0, 12), timeText(job.releasedAtMs),
                        job.releasedBy + (job.operatorName.empty() ? "" : " (" + job.operatorName + ")")});
    }
    if (!console.json() && !states.empty()) {
        printTextTable(console, rows);
    }
    const std::size_t n = states.size();
    return console.result({.exitCode = exitSuccess,
                           .text = n == 0 ? std::string("No job released on this line yet")
                                          : std::to_string(n) + (n == 1 ? " job" : " jobs"),
                           .shown = n > 0 && !console.json()});
}

int retireJob(const JobOptions& o, Console& console) {
    if (std::string problem = jobNameProblem(o.job); !problem.empty()) {
        return console.result({exitUsage, "job retire: " + problem});
    }
    std::unique_ptr<LineJobs> jobs;
    if (const auto refusal = openJobs(o, console, jobs)) {
        return *refusal;
    }
    const std::string who = o.operatorName.empty() ? loginName() : o.operatorName;
    if (const JobsStatus status = jobs->retire(o.job, who, o.note); !status.ok) {
        return refused(console, status);
    }
    return console.result(
        {exitSuccess,
         "Retired " + o.job + ": no station starts a new attempt with it until it is released again"});
}

JsonFields auditFields(const AuditEntry& e) {
    const auto optional = [](const auto& value) { return value ? JsonFields(*value) : JsonFields(); };
    return {{"at", timeField(e.atMs)},
            {"action", e.action},
            {"role", e.role},
            {"operator", nullable(e.operatorName)},
            {"job", optional(e.job)},
            {"jobVersion", optional(e.jobVersion)},
            {"station", optional(e.station)},
            {"host", optional(e.host)},
            {"note", optional(e.note)}};
}

int showHistory(const JobOptions& o, Console& console) {
    if (!o.job.empty()) {
        if (std::string problem = jobNameProblem(o.job); !problem.empty()) {
            return console.result({exitUsage, "job history: " + problem});
        }
    }
    std::unique_ptr<LineJobs> jobs;
    if (const auto refusal = openJobs(o, console, jobs)) {
        return *refusal;
    }
    JobsStatus status;
    const std::vector<AuditEntry> entries =
        jobs->history(o.job.empty() ? std::nullopt : std::optional(o.job), status);
    if (!status.ok) {
        return refused(console, status);
    }
    std::vector<std::vector<std::string>> rows = {{"TIME", "ACTION", "JOB", "BY", "STATION", "NOTE"}};
    for (const AuditEntry& e : entries) {
        if (console.json()) {
            console.event("audit", auditFields(e));
        }
        const std::string job =
            e.job ? *e.job + (e.jobVersion ? "@" + std::to_string(*e.jobVersion) : "") : "";
        const std::string station = e.station ? *e.station + (e.host ? " on " + *e.host : "") : "";
        rows.push_back({timeText(e.atMs), e.action, job,
                        e.role + (e.operatorName.empty() ? "" : " (" + e.operatorName + ")"), station,
                        e.note.value_or("")});
    }
    if (!console.json() && !entries.empty()) {
        printTextTable(console, rows);
    }
    const std::size_t n = entries.size();
    return console.result({.exitCode = exitSuccess,
                           .text = n == 0 ? std::string("Nothing in the line's audit yet")
                                          : std::to_string(n) + (n == 1 ? " entry" : " entries"),
                           .shown = n > 0 && !console.json()});
}

// --records, --json and --lang, which every job command takes.
void addLineOptions(CLI::App& command, JobOptions& o) {
    command
        .add_option("--records", o.records,
                    "The line's PostgreSQL database, postgresql://ROLE@HOST/DATABASE (Linux only)")
        ->type_name("URI")
        ->required();
    command.add_flag("--json", o.json, "One JSON object per event on standard output");
    addLanguageOption(command, o.language);
}

void addReleaseCommand(CLI::App& job, const std::shared_ptr<JobOptions>& o,
                       const std::function<void(int (*)(const JobOptions&, Console&))>& run) {
    CLI::App* command =
        job.add_subcommand("release", "Store an image and its settings as the next version of a job");
    command->add_option("NAME", o->job, "The job: 1 to 64 letters, digits, '-', '_' or '.'")->required();
    command->add_option("IMAGE", o->image, "Firmware image file, checked as upgrade checks it")->required();
    command->add_option("--target", o->target, "Board to upgrade: main, motor or special")
        ->check(CLI::IsMember({"main", "motor", "special"}))
        ->capture_default_str();
    addAddressOption(*command, o->settings.address);
    addLineSpeedOption(*command, o->settings.lineSpeed);
    addUpgradeSpeedOption(*command, o->settings.upgradeSpeed);
    addLowLatencyOption(*command, o->settings.lowLatency);
    command
        ->add_option("--max-resends", o->settings.maxResends,
                     "Give up on a camera that refuses one block this many times (0: never, the default)")
        ->check(CLI::Range(0U, 1000000U))
        ->capture_default_str();
    command->add_option("--note", o->note, "Why this version, kept with it and in the audit");
    command->add_option("--operator", o->operatorName, "Who releases it (default: the login name)");
    addLineOptions(*command, *o);
    command->callback([run] { run(releaseJob); });
}

} // namespace

void addJobCommand(CLI::App& app, int& status) {
    auto o = std::make_shared<JobOptions>();
    CLI::App* job =
        app.add_subcommand("job", "Release, list, show and retire the jobs of a line, kept in its PostgreSQL "
                                  "database (the line is a Linux "
                                  "feature: the Windows build keeps no records on a PostgreSQL server)");
    job->require_subcommand(1);
    const auto run = [o, &status](int (*what)(const JobOptions&, Console&)) {
        Console console(o->json ? OutputMode::Json : OutputMode::Plain);
        status = console.finish(what(*o, console));
    };
    addReleaseCommand(*job, o, run);
    CLI::App* list = job->add_subcommand("list", "Every job of the line: its latest version and state");
    addLineOptions(*list, *o);
    list->callback([run] { run(listJobs); });
    CLI::App* show = job->add_subcommand("show", "One job's latest version, or NAME@VERSION");
    show->add_option("NAME", o->job, "The job, or NAME@VERSION")->required();
    addLineOptions(*show, *o);
    show->callback([run] { run(showOne); });
    CLI::App* retire = job->add_subcommand("retire", "Stop a job: stations start no new attempt with it");
    retire->add_option("NAME", o->job, "The job")->required();
    retire->add_option("--note", o->note, "Why, kept in the audit");
    retire->add_option("--operator", o->operatorName, "Who retires it (default: the login name)");
    addLineOptions(*retire, *o);
    retire->callback([run] { run(retireJob); });
    CLI::App* history = job->add_subcommand(
        "history", "The line's audit, the oldest first: releases, retirements, stations started and stopped");
    history->add_option("NAME", o->job, "Only this job");
    addLineOptions(*history, *o);
    history->callback([run] { run(showHistory); });
}

} // namespace orvane
