// How the command line says what happens to a station's released job: a line on the terminal
// (standard error for trouble), a "job" event in JSON.
#include "cli/station_view.h"
#include "text/string_table.h"
#include "text/text_ids.h"

namespace orvane {
namespace {

std::string_view stateOf(JobNote::Kind kind) {
    switch (kind) {
    case JobNote::Kind::Taken:
        return "taken";
    case JobNote::Kind::Retired:
        return "retired";
    case JobNote::Kind::Unanswered:
        return "unanswered";
    case JobNote::Kind::Answered:
        return "answered";
    case JobNote::Kind::Refused:
        break;
    }
    return "refused";
}

JsonFields jobEvent(std::string_view state, const ReleasedJob* job, const std::string& reason) {
    JsonFields fields{{"state", state}};
    fields["job"] = job != nullptr ? JsonFields(job->name) : JsonFields(nullptr);
    fields["version"] = job != nullptr ? JsonFields(job->version) : JsonFields(nullptr);
    fields["image"] = job != nullptr ? JsonFields(job->image.path) : JsonFields(nullptr);
    fields["bytes"] = job != nullptr ? JsonFields(job->image.bytes.size()) : JsonFields(nullptr);
    fields["sha256"] = job != nullptr ? JsonFields(job->image.sha256) : JsonFields(nullptr);
    fields["reason"] = reason.empty() ? JsonFields(nullptr) : JsonFields(reason);
    return fields;
}

} // namespace

void StationView::jobNote(const JobNote& note) {
    const ReleasedJob* job = note.job.get();
    if (console_.json()) {
        console_.event("stationJob", jobEvent(stateOf(note.kind), job, note.reason));
        return;
    }
    const std::string name = job != nullptr ? job->name : std::string();
    const std::string version = job != nullptr ? std::to_string(job->version) : std::string("-");
    switch (note.kind) {
    case JobNote::Kind::Taken:
        say(fillText(
            textOf(IDS_JOB_TAKEN, language_),
            {name, version, job->image.path, std::to_string(job->image.bytes.size()), job->image.sha256}));
        return;
    case JobNote::Kind::Retired:
        say(fillText(textOf(IDS_JOB_RETIRED, language_), {name}), true);
        return;
    case JobNote::Kind::Unanswered:
        say(fillText(textOf(IDS_JOB_UNANSWERED, language_), {note.reason, name, version}), true);
        return;
    case JobNote::Kind::Answered:
        say(fillText(textOf(IDS_JOB_ANSWERED, language_), {name}), true);
        return;
    case JobNote::Kind::Refused:
        say(fillText(textOf(IDS_JOB_REFUSED, language_), {name, note.reason, version}), true);
        return;
    }
}

void StationView::jobFromCopy(const ReleasedJob& job, const std::string& why, const std::string& folder) {
    if (console_.json()) {
        console_.event("stationJob", jobEvent("fromCopy", &job, why));
        return;
    }
    say(fillText(textOf(IDS_JOB_FROM_COPY, language_), {why, job.name, std::to_string(job.version), folder}),
        true);
}

} // namespace orvane
