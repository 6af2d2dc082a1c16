#include "line/line_reader.h"

#include "line/line_connection.h"
#include "records/line_tables.h"
#include "records/records_reading.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace orvane {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto readEvery = std::chrono::seconds(1);
constexpr auto retryEvery = std::chrono::seconds(2);
constexpr auto countEvery = std::chrono::seconds(30); // the day's start passes with nothing else moving
constexpr auto countPause = std::chrono::seconds(1);

// Each row with the server's clock, so a station's silence is judged by the clock that wrote it.
const std::string rowQuery =
    "SELECT name, host, process_id, job, job_version, image_sha256, "
    "(extract(epoch FROM started_at) * 1000)::bigint, (extract(epoch FROM last_seen) * 1000)::bigint, "
    "(extract(epoch FROM stopped_at) * 1000)::bigint, state::text FROM stations";
const std::string nowQuery = "SELECT (extract(epoch FROM now()) * 1000)::bigint";

std::optional<std::string> text(const SqlRows& rows, int row, int column) {
    return rows.null(row, column) ? std::nullopt : std::optional(rows.text(row, column));
}

std::optional<std::int64_t> number(const SqlRows& rows, int row, int column) {
    const auto value = text(rows, row, column);
    return value ? std::optional(std::stoll(*value)) : std::nullopt;
}

LineStation stationAt(const SqlRows& rows, int row) {
    LineStation station;
    station.name = rows.text(row, 0);
    station.host = rows.text(row, 1);
    station.processId = number(rows, row, 2).value_or(0);
    station.job = text(rows, row, 3);
    station.jobVersion = number(rows, row, 4);
    station.imageSha256 = text(rows, row, 5);
    station.startedMs = number(rows, row, 6).value_or(0);
    station.lastSeenMs = number(rows, row, 7).value_or(0);
    station.stoppedMs = number(rows, row, 8);
    // A row's state that is not an object (a writer's fault) shows as a station without slots.
    station.state = JsonFields::parse(rows.text(row, 9), nullptr, false);
    if (!station.state.is_object()) {
        station.state = JsonFields::object();
    }
    return station;
}

// What moves when a station's attempt ends: its counters.
std::string countersOf(const LineStation& station) {
    const auto total = station.state.find("total");
    return total == station.state.end() ? "" : total->dump();
}

} // namespace

struct LineReader::Connection {
    explicit Connection(const std::string& uri) : line(uri) {}

    bool open(std::string& error);
    std::optional<std::int64_t> serverNow();
    bool readOne(const std::string& name, LineView& view);
    bool readAll(LineView& view, std::string& error);
    void noteCounters(const LineStation& station);

    LineConnection line;
    std::map<std::string, std::string> counters; // by station, to tell when to count again
    std::mutex countMutex;
    std::condition_variable countWake;
    bool countDue = true;
    std::thread counter;
};

bool LineReader::Connection::open(std::string& error) {
    std::string why;
    if (!line.connect(why)) {
        error = "the line's database does not answer: " + why;
        return false;
    }
    const SqlRows listening = line.run("LISTEN " + std::string(stationsChannel));
    if (!listening.ok()) {
        error = "cannot listen on the line's database: " + listening.error();
        return false;
    }
    return true;
}

std::optional<std::int64_t> LineReader::Connection::serverNow() {
    const SqlRows now = line.run(nowQuery);
    return now.count() == 1 ? number(now, 0, 0) : std::nullopt;
}

void LineReader::Connection::noteCounters(const LineStation& station) {
    std::string now = countersOf(station);
    auto& known = counters[station.name];
    if (known != now) {
        known = std::move(now);
        const std::lock_guard lock(countMutex);
        countDue = true;
        countWake.notify_one();
    }
}

bool LineReader::Connection::readOne(const std::string& name, LineView& view) {
    const auto now = serverNow();
    const SqlRows rows = line.run(rowQuery + " WHERE name = $1", {name});
    if (!now || !rows.ok()) {
        return false;
    }
    std::optional<LineStation> row;
    if (rows.count() == 1) {
        row = stationAt(rows, 0);
        noteCounters(*row);
    }
    view.station(name, row, *now);
    return true;
}

bool LineReader::Connection::readAll(LineView& view, std::string& error) {
    const auto now = serverNow();
    const SqlRows rows = line.run(rowQuery);
    if (!now || !rows.ok()) {
        error = "cannot read the line's stations: " + rows.error();
        return false;
    }
    std::map<std::string, LineStation> stations;
    for (int row = 0; row < rows.count(); ++row) {
        LineStation station = stationAt(rows, row);
        noteCounters(station);
        stations.emplace(station.name, std::move(station));
    }
    view.stations(stations, *now);
    return true;
}

LineReader::LineReader(std::string uri, LineView& view)
    : uri_(std::move(uri)), view_(view), connection_(std::make_unique<Connection>(uri_)) {}

LineReader::~LineReader() {
    stop();
}

bool LineReader::start(std::string& error) {
    if (!connection_->open(error) || !connection_->readAll(view_, error)) {
        return false;
    }
    thread_ = std::thread([this] { run(); });
    connection_->counter = std::thread([this] { count(); });
    return true;
}

// The records since the earliest shift's start or the day's, counted again when a station's
// counters moved, at most once a second.
void LineReader::count() {
    Connection& c = *connection_;
    std::unique_lock lock(c.countMutex);
    while (!stopping_) {
        c.countWake.wait_for(lock, countEvery, [&] { return c.countDue || stopping_; });
        if (stopping_) {
            break;
        }
        c.countDue = false;
        lock.unlock();
        RecordsQuery query{uri_, {}, {}};
        const auto starts = view_.shiftStarts();
        const std::int64_t dayStart = view_.dayStart();
        query.filter.sinceMs = dayStart;
        for (const auto& [name, start] : starts) {
            query.filter.sinceMs = std::min(*query.filter.sinceMs, start);
        }
        const ReadRecords read = readRecords(query);
        if (!read.refusal) {
            view_.yields(countLineYields(read.records, starts, dayStart));
        }
        lock.lock();
        c.countWake.wait_for(lock, countPause, [&] { return stopping_.load(); });
    }
}

void LineReader::run() {
    Connection& c = *connection_;
    auto nextRead = SteadyClock::now() + readEvery;
    auto nextTry = SteadyClock::now();
    while (!stopping_) {
        std::string error;
        if (!c.line.connected()) {
            if (SteadyClock::now() >= nextTry) {
                nextTry = SteadyClock::now() + retryEvery;
                if (c.open(error) && c.readAll(view_, error)) {
                    view_.databaseTrouble(std::nullopt);
                    continue;
                }
                view_.databaseTrouble(error);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        // A reading may have brought notifications along: the wait takes those first. A short
        // wait, so a stop is seen soon.
        const auto woken = c.line.notifications(std::chrono::milliseconds(100));
        bool lost = !woken;
        std::set<std::string> named;
        if (woken) {
            named.insert(woken->begin(), woken->end());
        }
        for (const std::string& name : named) {
            lost = lost || !c.readOne(name, view_);
        }
        if (!lost && SteadyClock::now() >= nextRead) {
            nextRead = SteadyClock::now() + readEvery;
            lost = !c.readAll(view_, error);
            if (!lost) {
                view_.databaseTrouble(std::nullopt);
            }
        }
        if (lost) {
            view_.databaseTrouble(error.empty() ? "the line's database stopped answering" : error);
        }
    }
}

void LineReader::stop() {
    {
        const std::lock_guard lock(connection_->countMutex);
        stopping_ = true;
        connection_->countWake.notify_one();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (connection_->counter.joinable()) {
        connection_->counter.join();
    }
}

} // namespace orvane
