// The line's page under a line's load: 8 stations of 32 slots each, written by the load
// generator as stations publish their rows (a write, then NOTIFY, at each change of a slot),
// while the line's page follows them by LISTEN and tells its live connection. Measures how long
// a slot's change takes to reach the page's event stream, the database's writes a second and
// the CPU the publishing takes. Starts a PostgreSQL 15 server of its own (postgresql-15).
//   line [--quick] [--seconds S] [--stations N] [--slots N] [--writes-per-second W]
#include "../tests/records/postgres_server.h"
#include "bench_support.h"
#include "line/line_reader.h"
#include "line/line_server.h"
#include "line_load.h"
#include "records/postgres_store.h"

#include <arpa/inet.h>
#include <atomic>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orvane;
using namespace orvane::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    double seconds = 30;
    int stations = 8;
    std::size_t slots = 32;
    double writesPerSecond = 5; // each station's: a slot's change of state every 200 ms
};

struct Sent {
    std::mutex mutex;
    std::map<long, Clock::time_point> at; // by mark, until seen
    std::vector<double> latencies;
    std::atomic<long> next{1};
};

// The page's event stream: its chunks taken apart, each "state" message's marks looked up.
void follow(int port, Sent& sent, const std::atomic<bool>& done, double& cpu) {
    const auto start = ThreadUsage::now();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::puts("line: cannot reach the page");
        return;
    }
    const std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    (void)!write(fd, request.data(), request.size());
    timeval wait{0, 200'000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string raw;
    std::string body;
    bool headed = false;
    char buffer[65536];
    while (!done) {
        const auto got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            continue;
        }
        const auto now = Clock::now();
        raw.append(buffer, static_cast<std::size_t>(got));
        if (!headed) {
            const auto end = raw.find("\r\n\r\n");
            if (end == std::string::npos) {
                continue;
            }
            raw.erase(0, end + 4), headed = true;
        }
        for (std::size_t line; (line = raw.find("\r\n")) != std::string::npos;) {
            const std::size_t size = std::stoul(raw.substr(0, line), nullptr, 16);
            if (raw.size() < line + 2 + size + 2) {
                break;
            }
            body += raw.substr(line + 2, size), raw.erase(0, line + 2 + size + 2);
        }
        for (std::size_t end; (end = body.find("\n\n")) != std::string::npos; body.erase(0, end + 2)) {
            const std::string message = body.substr(0, end);
            if (message.rfind("event: state\n", 0) != 0) {
                continue;
            }
            const JsonFields parsed =
                JsonFields::parse(message.substr(message.find("data: ") + 6), nullptr, false);
            if (parsed.is_discarded() || !parsed["entry"].is_object()) {
                continue;
            }
            const std::lock_guard lock(sent.mutex);
            for (const JsonFields& slot : parsed["entry"]["state"]["slots"]) {
                if (!slot["unit"].is_string()) {
                    continue;
                }
                const auto found = sent.at.find(std::stol(slot["unit"].get<std::string>().substr(1)));
                if (found != sent.at.end()) {
                    sent.latencies.push_back(Millis(now - found->second).count());
                    sent.at.erase(found);
                }
            }
        }
    }
    close(fd);
    cpu = (ThreadUsage::now() - start).cpu;
}

// One station's publisher: a slot's change of state at the given rate; answers its CPU seconds.
double publish(const std::string& uri, int station, const Options& o, Sent& sent, std::atomic<long>& writes,
               const std::atomic<bool>& done) {
    test::LineLoad load(uri);
    StationSnapshot now = test::loadStation(o.slots);
    const auto period = std::chrono::duration<double>(1.0 / o.writesPerSecond);
    const auto start = ThreadUsage::now();
    auto next = Clock::now();
    static constexpr SlotState cycle[] = {SlotState::Waiting, SlotState::Flashing, SlotState::Succeeded};
    for (long turn = 0; !done; ++turn) {
        SlotSnapshot& slot = now.slots[static_cast<std::size_t>(turn) % now.slots.size()];
        slot.state = cycle[static_cast<std::size_t>(turn / static_cast<long>(now.slots.size())) % 3];
        const long mark = sent.next++;
        slot.unit = "m" + std::to_string(mark);
        {
            const std::lock_guard lock(sent.mutex);
            sent.at[mark] = Clock::now();
        }
        if (load.publish("station-" + std::to_string(station), now)) {
            ++writes;
        }
        next += std::chrono::duration_cast<Clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
    return (ThreadUsage::now() - start).cpu;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&] { return i + 1 < argc ? std::stod(argv[++i]) : 0.0; };
        if (arg == "--quick") {
            o.seconds = 5;
        } else if (arg == "--seconds") {
            o.seconds = value();
        } else if (arg == "--stations") {
            o.stations = static_cast<int>(value());
        } else if (arg == "--slots") {
            o.slots = static_cast<std::size_t>(value());
        } else if (arg == "--writes-per-second") {
            o.writesPerSecond = value();
        }
    }
    return o;
}

} // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    test::PostgresServer server;
    if (!server.available()) {
        std::printf("line: no PostgreSQL 15 server (%s): skipped\n", server.whyNot().c_str());
        return 77;
    }
    if (const StoreStatus made = PostgresStore::initialise(server.uri()); !made.ok) {
        std::printf("line: %s\n", made.reason.c_str());
        return 1;
    }

    LineView view({});
    LineReader reader(server.uri(), view);
    DashboardSettings settings;
    LineServer page(view, settings, nullptr);
    std::string error;
    if (!reader.start(error) || !page.start(error)) {
        std::printf("line: %s\n", error.c_str());
        return 1;
    }
    Sent sent;
    std::atomic<bool> done{false};
    std::atomic<bool> followed{false};
    std::atomic<long> writes{0};
    double followerCpu = 0;
    std::thread follower(follow, page.port(), std::ref(sent), std::cref(followed), std::ref(followerCpu));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double cpuBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    std::vector<double> publishing(static_cast<std::size_t>(o.stations));
    std::vector<std::thread> stations;
    for (int n = 0; n < o.stations; ++n) {
        stations.emplace_back([&, n] {
            publishing[static_cast<std::size_t>(n)] = publish(server.uri(), n + 1, o, sent, writes, done);
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
    done = true;
    for (std::thread& station : stations) {
        station.join();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000)); // the last changes on their way
    followed = true;
    follower.join();
    // The line's page is the process less the stations and the page's reader here.
    const double processCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - followerCpu;
    double publishCpu = 0;
    for (double cpu : publishing) {
        publishCpu += cpu;
    }
    const std::lock_guard lock(sent.mutex);
    const double p95 = percentile(sent.latencies, 0.95);
    const bool met = p95 < 500.0 && sent.at.size() < sent.latencies.size() / 100 + 1;
    Table table({"stations x slots", "s", "changes", "reached", "median ms", "p95 ms", "max ms",
                 "DB writes/s", "publish CPU per station", "line page CPU", "goal (p95 < 500 ms)"});
    table.add({std::to_string(o.stations) + " x " + std::to_string(o.slots), fixed(o.seconds, 0),
               std::to_string(writes.load()), std::to_string(sent.latencies.size()),
               fixed(median(sent.latencies), 1), fixed(p95, 1), fixed(percentile(sent.latencies, 1.0), 1),
               fixed(static_cast<double>(writes.load()) / o.seconds, 1),
               fixed(100.0 * publishCpu / o.stations / o.seconds, 2) + " %",
               fixed(100.0 * (processCpu - publishCpu) / o.seconds, 1) + " %", met ? "met" : "NOT met"});
    table.print();
    page.stop();
    reader.stop();
    return met ? 0 : 1;
}
