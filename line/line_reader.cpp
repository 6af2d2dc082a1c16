#include "line/line_reader.h"

#include "line/notification_wait.h"
#include "records/line_tables.h"
#include "records/records_reading.h"

#include <chrono>
#include <condition_variable>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <set>

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto readEvery = std::chrono::seconds(1);
constexpr auto retryEvery = std::chrono::seconds(2);
constexpr auto countEvery = std::chrono::seconds(30);
constexpr auto countPause = std::chrono::seconds(1); // the day's start passes with nothing else moving

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

constexpr const char* rowQuery =
    "SELECT name, host, process_id, job, job_version, image_sha256, "
    "(extract(epoch FROM started_at) * 1000)::bigint, (extract(epoch FROM last_seen) * 1000)::bigint, "
    "(extract(epoch FROM stopped_at) * 1000)::bigint, state::text FROM stations";

std::optional<std::string> text(const PGresult* result, int row, int column) {
    if (PQgetisnull(result, row, column)) {
        return std::nullopt;
    }
    return std::string(PQgetvalue(result, row, column));
}

std::optional<std::int64_t> number(const PGresult* result, int row, int column) {
    const auto value = text(result, row, column);
    return value ? std::optional(std::stoll(*value)) : std::nullopt;
}

LineStation stationAt(const PGresult* result, int row) {
    LineStation station;
    station.name = text(result, row, 0).value_or("");
    station.host = text(result, row, 1).value_or("");
    station.processId = number(result, row, 2).value_or(0);
    station.job = text(result, row, 3);
    station.jobVersion = number(result, row, 4);
    station.imageSha256 = text(result, row, 5);
    station.startedMs = number(result, row, 6).value_or(0);
    station.lastSeenMs = number(result, row, 7).value_or(0);
    station.stoppedMs = number(result, row, 8);
    // A row's state that is not an object (a writer's fault) shows as a station without slots.
    station.state = JsonFields::parse(text(result, row, 9).value_or("{}"), nullptr, false);
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
    PGconn* pg = nullptr;
    std::map<std::string, std::string> counters; // by station, to tell when to count again
    std::mutex countMutex;
    std::condition_variable countWake;
    bool countDue = true;
    std::thread counter;

    ~Connection() { close(); }
    void close() {
        if (pg) {
            PQfinish(pg);
            pg = nullptr;
        }
    }
    bool open(const std::string& uri, std::string& error);
    Result exec(const char* sql, const std::string* parameter = nullptr);
    std::optional<std::int64_t> serverNow();
    bool readOne(const std::string& name, LineView& view);
    bool readAll(LineView& view, std::string& error);
    void noteCounters(const LineStation& station);
};

bool LineReader::Connection::open(const std::string& uri, std::string& error) {
    close();
    pg = PQconnectdb(uri.c_str());
    if (PQstatus(pg) != CONNECTION_OK) {
        error = "the line's database does not answer: " + std::string(PQerrorMessage(pg));
        close();
        return false;
    }
    PQsetNoticeProcessor(
        pg, [](void*, const char*) {}, nullptr); // the server's notices are its log's
    const std::string listen = "LISTEN " + std::string(stationsChannel);
    if (PQresultStatus(exec(listen.c_str()).get()) != PGRES_COMMAND_OK) {
        error = "cannot listen on the line's database: " + std::string(PQerrorMessage(pg));
        close();
        return false;
    }
    return true;
}

Result LineReader::Connection::exec(const char* sql, const std::string* parameter) {
    const char* values[] = {parameter ? parameter->c_str() : nullptr};
    return Result(PQexecParams(pg, sql, parameter ? 1 : 0, nullptr, values, nullptr, nullptr, 0), &PQclear);
}

std::optional<std::int64_t> LineReader::Connection::serverNow() {
    const Result now = exec("SELECT (extract(epoch FROM now()) * 1000)::bigint");
    if (PQresultStatus(now.get()) != PGRES_TUPLES_OK || PQntuples(now.get()) != 1) {
        return std::nullopt;
    }
    return number(now.get(), 0, 0);
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
    const Result rows = exec((std::string(rowQuery) + " WHERE name = $1").c_str(), &name);
    if (!now || PQresultStatus(rows.get()) != PGRES_TUPLES_OK) {
        return false;
    }
    std::optional<LineStation> row;
    if (PQntuples(rows.get()) == 1) {
        row = stationAt(rows.get(), 0);
        noteCounters(*row);
    }
    view.station(name, row, *now);
    return true;
}

bool LineReader::Connection::readAll(LineView& view, std::string& error) {
    const auto now = serverNow();
    const Result rows = exec(rowQuery);
    if (!now || PQresultStatus(rows.get()) != PGRES_TUPLES_OK) {
        error = "cannot read the line's stations: " + std::string(PQerrorMessage(pg));
        return false;
    }
    std::map<std::string, LineStation> stations;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
        LineStation station = stationAt(rows.get(), row);
        noteCounters(station);
        stations.emplace(station.name, std::move(station));
    }
    view.stations(stations, *now);
    return true;
}

LineReader::LineReader(std::string uri, LineView& view)
    : uri_(std::move(uri)), view_(view), connection_(std::make_unique<Connection>()) {}

LineReader::~LineReader() {
    stop();
}

bool LineReader::start(std::string& error) {
    if (!connection_->open(uri_, error) || !connection_->readAll(view_, error)) {
        connection_->close();
        return false;
    }
    thread_ = std::thread([this] { run(); });
    connection_->counter = std::thread([this] {
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
            std::int64_t since = view_.dayStart();
            for (const auto& [name, start] : starts) {
                since = std::min(since, start);
            }
            query.filter.sinceMs = since;
            const ReadRecords read = readRecords(query);
            if (!read.refusal) {
                view_.yields(countLineYields(read.records, starts, view_.dayStart()));
            }
            lock.lock();
            // A busy line ends attempts all the time: the day is read again at most once a second.
            c.countWake.wait_for(lock, countPause, [&] { return stopping_.load(); });
        }
    });
    return true;
}

void LineReader::run() {
    Connection& c = *connection_;
    auto nextRead = Clock::now() + readEvery;
    auto nextTry = Clock::now();
    while (!stopping_) {
        std::string error;
        if (!c.pg) {
            if (Clock::now() >= nextTry) {
                nextTry = Clock::now() + retryEvery;
                if (c.open(uri_, error) && c.readAll(view_, error)) {
                    view_.databaseTrouble(std::nullopt);
                    continue;
                }
                view_.databaseTrouble(error);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        // A reading may have brought notifications along: the wait takes those first.
        const NotificationWait woken = waitForNotifications(c.pg, std::chrono::milliseconds(100));
        bool lost = woken.broken;
        std::set<std::string> named;
        for (const Notification& notification : woken.notifications) {
            named.insert(notification.payload);
        }
        for (const std::string& name : named) {
            lost = lost || !c.readOne(name, view_);
        }
        if (!lost && Clock::now() >= nextRead) {
            nextRead = Clock::now() + readEvery;
            lost = !c.readAll(view_, error);
        }
        if (lost) {
            view_.databaseTrouble("the line's database stopped answering: " +
                                  std::string(PQerrorMessage(c.pg)));
            c.close();
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
    connection_->close();
}

} // namespace orvane
