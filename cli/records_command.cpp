// `orvane-cli records`: the upgrade attempts kept, the newest first: a table for the
// technician, --json (one "record" event each), --csv (every field, for a spreadsheet) or
// --summary (counts and yield per image and per station); filtered by time, port, adapter,
// image, ending and station; from this desk's file, another file or a line's server.
#include "cli/binary_output.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/records_summary.h"
#include "cli/records_table.h"
#include "output/console.h"
#include "output/csv_row.h"
#include "records/job_name.h"
#include "records/record_fields.h"
#include "records/record_time.h"
#include "records/records_reading.h"
#include "records/sqlite_store.h"
#include "records/store_place.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <memory>
#include <string>

namespace orvane {
namespace {

struct RecordsOptions {
    std::string since;
    std::string until;
    std::string port;
    std::string serial;
    std::string image;
    std::string ending;
    std::string station;
    std::string unit;
    std::string job; // NAME or NAME@VERSION
    std::size_t limit = 0;
    std::string records;
    bool utc = false;
    bool json = false;
    bool csv = false;
    bool summary = false;
    std::string by; // "unit": the summary one row a unit
    bool withSent = false;
    bool init = false;
};

std::optional<std::string> givenOrNone(const std::string& value) {
    return value.empty() ? std::nullopt : std::optional(value);
}

RecordsQuery queryOf(const RecordsOptions& o) {
    RecordsQuery query;
    query.place = o.records;
    RecordFilter& filter = query.filter;
    filter.sinceMs = o.since.empty() ? std::nullopt : parseMoment(o.since);
    filter.untilMs = o.until.empty() ? std::nullopt : parseMoment(o.until, true);
    filter.port = givenOrNone(o.port);
    filter.usbSerial = givenOrNone(o.serial);
    filter.ending = givenOrNone(o.ending);
    filter.station = givenOrNone(o.station);
    filter.unit = givenOrNone(o.unit);
    if (const JobReferenceReading job = readJobReference(o.job); job.reference) {
        filter.job = job.reference->name;
        filter.jobVersion = job.reference->version;
    }
    filter.leaveOutSent = !o.withSent;
    filter.limit = o.limit > 0 ? std::optional(o.limit) : std::nullopt;
    std::string image = o.image;
    std::transform(image.begin(), image.end(), image.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    // A whole SHA-256 the store looks up; the start of one, as the table shows it, is
    // looked for here.
    if (image.size() == 64) {
        filter.imageSha256 = image;
    } else {
        query.imagePrefix = image;
    }
    return query;
}

std::string countText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

void printCsv(Console& console, const std::vector<UpgradeRecord>& records) {
    useBinaryOutput(stdout);
    const std::vector<std::string> names(recordFieldNames.begin(), recordFieldNames.end());
    std::string text = csvRow(names);
    for (const UpgradeRecord& record : records) {
        text += recordCsvRow(record);
        // Written in pieces: a hundred thousand records need not sit in memory twice.
        if (text.size() >= 1 << 16) {
            console.raw(text);
            text.clear();
        }
    }
    console.raw(text);
}

void printJson(Console& console, const std::vector<UpgradeRecord>& records) {
    for (const UpgradeRecord& record : records) {
        JsonFields fields = recordFields(record);
        if (record.port.empty()) {
            fields.erase("port"); // every event's port names one; a record without one has none
        }
        console.event("record", fields);
    }
}

// --init: the schema made or brought up to this program's, by a role that may.
int initRecords(const RecordsOptions& options, Console& console) {
    const StorePlace place = storePlaceOf(options.records);
    if (place.kind == StorePlaceKind::none) {
        return console.result({exitUsage, "records: --init needs a records file or server, not none"});
    }
    const StoreStatus status = initialiseRecordStore(place);
    if (!status.ok) {
        return console.result({exitUnusable, status.reason});
    }
    return console.result({.exitCode = exitSuccess,
                           .text = "The records in " + shownPlace(place.where) + " are ready (schema " +
                                   std::to_string(recordSchemaVersion) + ")"});
}

int runRecords(const RecordsOptions& options, Console& console) {
    if (options.init) {
        return initRecords(options, console);
    }
    const ReadRecords read = readRecords(queryOf(options));
    if (read.refusal) {
        return console.result({read.refusal->badRequest ? exitUsage : exitUnusable, read.refusal->reason});
    }
    const std::vector<UpgradeRecord>& records = read.records;
    if (options.csv) {
        if (read.noneYet) {
            console.note("No records yet: there is no " + *read.noneYet);
        }
        printCsv(console, records);
        return exitSuccess;
    }
    if (options.summary && !options.by.empty() && (options.json || !records.empty())) {
        printUnitsSummary(console, unitHistories(records));
    } else if (options.summary && (options.json || !records.empty())) {
        printRecordsSummary(console, summarise(records));
    } else if (options.json) {
        printJson(console, records);
    } else if (!records.empty()) {
        printRecordsTable(console, records, options.utc);
    }
    const std::string text =
        read.noneYet ? "No records yet: there is no " + *read.noneYet : countText(records.size());
    return console.result(
        {.exitCode = exitSuccess, .text = text, .shown = !records.empty() && !options.json});
}

std::string momentProblem(const std::string& value) {
    return parseMoment(value)
               ? std::string()
               : "not a date or time: " + value +
                     " (2026-12-09 or 2026-12-09T14:30 in local time, 2026-12-09T13:30Z in UTC)";
}

std::string sha256Problem(const std::string& value) {
    const bool hex = std::all_of(value.begin(), value.end(),
                                 [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    return hex && !value.empty() && value.size() <= 64
               ? std::string()
               : "not a SHA-256: " + value + " (64 hex digits, or the first of them as the table shows)";
}

std::string jobProblem(const std::string& value) {
    return readJobReference(value).refusal;
}

std::string limitProblem(const std::string& value) {
    const bool digits = !value.empty() && value.size() <= 9 &&
                        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digits && std::stoul(value) > 0 ? std::string()
                                           : "not a count of records: " + value + " (1 or more)";
}

void addFilterOptions(CLI::App& command, RecordsOptions& o) {
    // Nameless validators: the help shows the option's own value name (TIME), not TEXT:TIME.
    const CLI::Validator moment(momentProblem, "");
    command.add_option("--since", o.since, "Only attempts started at or after this time (ISO 8601)")
        ->check(moment)
        ->type_name("TIME");
    command.add_option("--until", o.until, "Only attempts started before this time (a date: up to its end)")
        ->check(moment)
        ->type_name("TIME");
    command.add_option("--port", o.port, "Only this port: as given, its device or its by-id link")
        ->type_name("PORT");
    command.add_option("--serial", o.serial, "Only this adapter: its USB serial number")->type_name("SERIAL");
    command.add_option("--image", o.image, "Only this image: its SHA-256, or the start of it")
        ->check(CLI::Validator(sha256Problem, ""))
        ->type_name("SHA256");
    command.add_option("--ending", o.ending, "Only attempts that ended so")
        ->check(CLI::IsMember({"succeeded", "failed", "unusable", "cancelled", "interrupted", "running"}))
        ->type_name("ENDING");
    command.add_option("--station", o.station, "Only this station")->type_name("NAME");
    command.add_option("--unit", o.unit, "Only this camera, by its label: its whole history")
        ->type_name("LABEL");
    command.add_option("--job", o.job, "Only attempts of this released job, or of NAME@VERSION")
        ->check(CLI::Validator(jobProblem, ""))
        ->type_name("NAME[@VERSION]");
    command.add_flag("--with-sent", o.withSent,
                     "With the records this desk's file has sent to a line's server (which holds them)");
    command.add_option("--limit", o.limit, "At most N records, the newest")
        ->check(CLI::Validator(limitProblem, ""))
        ->type_name("N");
}

} // namespace

void addRecordsCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<RecordsOptions>();
    CLI::App* command = app.add_subcommand("records", "List the upgrade attempts kept, the newest first");
    addFilterOptions(*command, *options);
    command
        ->add_option("--records", options->records,
                     "Read this records file or postgresql:// server instead of this desk's file")
        ->type_name("PATH|URI");
    command->add_flag("--utc", options->utc, "Times in UTC instead of local time");
    auto* json = command->add_flag("--json", options->json, "One JSON record event a line");
    auto* csv = command->add_flag("--csv", options->csv, "Every field as CSV (RFC 4180), with a header line")
                    ->excludes(json);
    auto* summary =
        command->add_flag("--summary", options->summary, "Counts and yields per image and per station")
            ->excludes(csv);
    command
        ->add_option("--by", options->by, "With --summary: one row a unit (its attempts, last ending, image)")
        ->check(CLI::IsMember({"unit"}))
        ->needs(summary);
    command
        ->add_flag("--init", options->init,
                   "Make or migrate the records' tables of --records (a line's server: as its owner)")
        ->excludes(json)
        ->excludes(csv);
    command->callback([options, &status] {
        Console console(options->json ? OutputMode::Json : OutputMode::Plain);
        status = console.finish(runRecords(*options, console));
    });
}

} // namespace orvane
