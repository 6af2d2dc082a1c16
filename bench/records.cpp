// Records as a station keeps them: what one attempt's start and completion cost on the desk's
// file with its full sync (the upgrade waits for both), what a running attempt's progress write
// costs (no sync, off the job's thread), eight processes writing into one file at once (every
// record there, none twice), `orvane-cli records --csv` of a large file, and what a record takes
// on the disk. The goals: a start plus completion within 5 ms (median),
// all of the concurrent records kept exactly once, the CSV of 100,000 records within 2 s.
//
//   records            200 attempts timed, 8 x 500 written at once, 100,000 records as CSV
//   records --quick    20 attempts, 8 x 25, 5,000 records (for the smoke run)
#include "bench/bench_support.h"
#include "records/record_columns.h"
#include "records/record_id.h"
#include "records/sqlite_store.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace orvane;
using namespace orvane::bench;
namespace fs = std::filesystem;

struct Sizes {
    std::size_t timed = 200;
    std::size_t perProcess = 500;
    std::size_t forCsv = 100000;
};
constexpr int processes = 8;

UpgradeRecord attempt(std::int64_t startedMs) {
    UpgradeRecord r;
    r.id = newRecordId();
    r.startedMs = startedMs;
    r.station = "line-1-desk-04";
    r.operatorName = "operator";
    r.port = "/dev/ttyUSB0";
    r.device = "/dev/ttyUSB0";
    r.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";
    r.driver = "ftdi_sio";
    r.vid = "0403";
    r.pid = "6001";
    r.usbSerial = "A10K3XYZ";
    r.image = "camera-main-v2.4.1.bin";
    r.imagePath = "/srv/firmware/camera-main-v2.4.1.bin";
    r.unit = "SN-2026-000042";
    r.slot = "left-3";
    r.plug = r.id;
    r.imageSize = 524288;
    r.imageSha256 = "0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0";
    r.target = "main";
    r.address = 1;
    r.lineSpeed = 9600;
    r.upgradeSpeed = 115200;
    r.replyMode = "standard";
    r.toolVersion = "1.1.0";
    r.host = "desk-04";
    r.processId = getpid();
    r.bootId = "0b7c1e5e-2f4a-4d8e-9c6b-3a2d1f0e9b8a";
    return r;
}

void complete(UpgradeRecord& r) {
    r.ending = "succeeded";
    r.step = "done";
    r.durationMs = 47123;
    r.block = 512;
    r.blocks = 512;
}

std::unique_ptr<SqliteStore> openStore(const fs::path& file) {
    StoreStatus status;
    auto store = SqliteStore::open(file.string(), status);
    if (!store) {
        std::fprintf(stderr, "records: %s\n", status.reason.c_str());
        std::exit(2);
    }
    return store;
}

// Milliseconds of each attempt's writes, as a job makes them: the start, the start again once
// the image is read, the completion.
std::vector<double> timeAttempts(const fs::path& file, std::size_t count) {
    auto store = openStore(file);
    std::vector<double> samples;
    for (std::size_t i = 0; i < count; ++i) {
        UpgradeRecord r = attempt(1796810400000 + static_cast<std::int64_t>(i) * 60000);
        const auto started = std::chrono::steady_clock::now();
        const bool ok = store->put(r).ok && store->put(r).ok && (complete(r), store->put(r).ok);
        samples.push_back(Millis(std::chrono::steady_clock::now() - started).count());
        if (!ok) {
            std::exit(2);
        }
    }
    return samples;
}

// Milliseconds of each progress write of a running attempt (a step or block reached), as the
// book's writer makes them about once a second: written without waiting for the disk.
std::vector<double> timeProgress(const fs::path& file, std::size_t count) {
    auto store = openStore(file);
    UpgradeRecord r = attempt(1796810400000);
    std::vector<double> samples;
    if (!store->put(r).ok) {
        std::exit(2);
    }
    r.step = "block";
    r.blocks = 512;
    for (std::size_t i = 0; i < count; ++i) {
        r.block = static_cast<std::uint32_t>(i % 512 + 1);
        const auto started = std::chrono::steady_clock::now();
        const bool ok = store->putProgress(r).ok;
        samples.push_back(Millis(std::chrono::steady_clock::now() - started).count());
        if (!ok) {
            std::exit(2);
        }
    }
    return samples;
}

// Eight processes, each its own store, each attempt started and completed; then the records
// there, and how many of them are there more than once.
std::pair<std::size_t, std::size_t> writeAtOnce(const fs::path& file, std::size_t perProcess,
                                                double& seconds) {
    (void)openStore(file); // the schema once, before the race
    const auto started = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t child = fork();
        if (child == 0) {
            auto store = openStore(file);
            bool ok = true;
            for (std::size_t i = 0; i < perProcess && ok; ++i) {
                UpgradeRecord r = attempt(1796810400000 + static_cast<std::int64_t>(i));
                ok = store->put(r).ok && (complete(r), store->put(r).ok);
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    bool allOk = true;
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        allOk = allOk && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    StoreStatus status;
    const auto found = openStore(file)->find({}, status);
    std::set<std::string> ids;
    std::size_t completed = 0;
    for (const UpgradeRecord& r : found) {
        ids.insert(r.id);
        completed += r.ending == "succeeded" ? 1 : 0;
    }
    if (!allOk || completed != found.size()) {
        std::fprintf(stderr, "records: a writer failed or left an attempt running\n");
    }
    return {ids.size(), found.size() - ids.size()};
}

// count records in file: one kept by the store, the rest copied from it in one transaction
// (the store's own put would spend a full sync on each).
void fill(const fs::path& file, std::size_t count) {
    auto store = openStore(file);
    UpgradeRecord r = attempt(1796810400000);
    complete(r);
    (void)store->put(r);
    store.reset();
    std::string columns;
    std::string copied;
    for (const std::string_view column : recordColumns) {
        columns += (columns.empty() ? "" : ", ") + std::string(column);
        copied += copied.empty() ? "" : ", ";
        copied += column == "id"           ? "id || '-' || n"
                  : column == "started_ms" ? "started_ms - n * 60000"
                                           : std::string(column);
    }
    const std::string sql =
        "WITH RECURSIVE counter(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM counter WHERE n < " +
        std::to_string(count - 1) + ") INSERT INTO records (" + columns + ") SELECT " + copied +
        " FROM records, counter; PRAGMA wal_checkpoint(TRUNCATE);";
    sqlite3* database = nullptr;
    sqlite3_open(file.string().c_str(), &database);
    char* error = nullptr;
    if (sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "records: %s\n", error != nullptr ? error : "cannot fill");
        std::exit(2);
    }
    sqlite3_close(database);
}

// Runs orvane-cli records --csv on file; answers its seconds and the rows it wrote.
double timeCsv(const fs::path& file, std::size_t& rows) {
    const std::string command =
        std::string(ORVANE_CLI_PATH) + " records --csv --records '" + file.string() + "'";
    const auto started = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<char> buffer(1 << 16);
    rows = 0;
    char last = 0;
    for (std::size_t n = 0; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        for (std::size_t i = 0; i < n; ++i) {
            rows += last == '\r' && buffer[i] == '\n' ? 1 : 0;
            last = buffer[i];
        }
    }
    const int status = pclose(pipe);
    rows = status == 0 && rows > 0 ? rows - 1 : 0; // the header is no record
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const Sizes sizes = quick ? Sizes{20, 25, 5000} : Sizes{};
    const fs::path folder = fs::temp_directory_path() / ("orvane-bench-records-" + newRecordId());
    fs::create_directories(folder);

    const std::vector<double> attempts = timeAttempts(folder / "timed.sqlite", sizes.timed);
    const std::vector<double> progress = timeProgress(folder / "progress.sqlite", sizes.timed);
    double raceSeconds = 0;
    const auto [distinct, twice] = writeAtOnce(folder / "shared.sqlite", sizes.perProcess, raceSeconds);
    fill(folder / "large.sqlite", sizes.forCsv);
    const double perRecord =
        static_cast<double>(fs::file_size(folder / "large.sqlite")) / static_cast<double>(sizes.forCsv);
    std::size_t rows = 0;
    const double csvSeconds = timeCsv(folder / "large.sqlite", rows);
    fs::remove_all(folder);

    const std::size_t expected = processes * sizes.perProcess;
    const bool attemptsOk = median(attempts) <= 5.0;
    const bool raceOk = distinct == expected && twice == 0;
    const bool csvOk = rows == sizes.forCsv && csvSeconds < 2.0;
    Table table({"measure", "figure", "goal", "met"});
    table.add({"start + completion, median (" + std::to_string(sizes.timed) + ")",
               fixed(median(attempts), 2) + " ms", "<= 5 ms", attemptsOk ? "yes" : "no"});
    table.add({"start + completion, 95th percentile", fixed(percentile(attempts, 0.95), 2) + " ms", "", ""});
    table.add({"progress write, median (" + std::to_string(sizes.timed) + ")",
               fixed(median(progress), 2) + " ms", "", ""});
    table.add({"progress write, 95th percentile", fixed(percentile(progress, 0.95), 2) + " ms", "", ""});
    table.add({"8 processes x " + std::to_string(sizes.perProcess) + " at once",
               std::to_string(distinct) + " of " + std::to_string(expected) + ", " + std::to_string(twice) +
                   " twice, " + fixed(raceSeconds, 1) + " s",
               "all, none twice", raceOk ? "yes" : "no"});
    table.add({"records --csv of " + std::to_string(sizes.forCsv),
               fixed(csvSeconds, 2) + " s, " + std::to_string(rows) + " rows", "< 2 s",
               csvOk ? "yes" : "no"});
    table.add({"file size per record", fixed(perRecord, 0) + " bytes", "", ""});
    table.print();
    return attemptsOk && raceOk && csvOk ? 0 : 1;
}
