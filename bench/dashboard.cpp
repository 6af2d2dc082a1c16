// Whether a station's page, hammered, slows its cameras: the time a station takes to upgrade
// cameras plugged at once, quiet against the same with its dashboard serving 100 live event
// clients, 4 clients that connect to the events and never read, and 1,000 requests a second
// for the page, the station and its records (goal: within 5 %). Quiet and loaded runs take
// turns, so a machine that slows down meanwhile weighs on both alike. The time from an event
// to the browser showing it is measured by dashboard_latency.py beside this.
//
//   dashboard           8 cameras, 3 runs of each
//   dashboard --quick   2 cameras, 1 run of each (about a quarter of a minute)
#include "bench/station_bench.h"
#include "dashboard/dashboard_server.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <httplib.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace orvane;
using namespace orvane::bench;

struct LoadFigures {
    int eventClientsFed = 0; // followed the events to the end, with more than the first snapshot
    int eventClientsRefused = 0;
    long requests = 0;
    long failedRequests = 0;
    double seconds = 0.0;
};

// A connection that asks for the events and then never reads: its receive buffer kept small,
// so the server's writes to it soon block.
int stalledClient(int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(socket);
        return -1;
    }
    const std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (write(socket, request.data(), request.size()) < 0) {
        close(socket);
        return -1;
    }
    return socket;
}

class PageLoad {
  public:
    PageLoad(int port, int eventClients, int stalled, int requestsPerSecond) : began_(Steady::now()) {
        for (int i = 0; i < eventClients; ++i) {
            threads_.emplace_back([this, port] { followEvents(port); });
        }
        for (int i = 0; i < stalled; ++i) {
            stalled_.push_back(stalledClient(port));
        }
        const int requesters = 4;
        for (int i = 0; i < requesters; ++i) {
            threads_.emplace_back(
                [this, port, i,
                 period = std::chrono::microseconds{1'000'000 * requesters / requestsPerSecond}] {
                    request(port, i, period);
                });
        }
    }
    // The requests end; then the server stops, which ends every live connection.
    void quiet() {
        stopping_ = true;
        figures_.seconds = std::chrono::duration<double>(Steady::now() - began_).count();
    }
    LoadFigures stop() {
        for (std::thread& thread : threads_) {
            thread.join();
        }
        for (const int socket : stalled_) {
            close(socket);
        }
        figures_.eventClientsFed = fed_;
        figures_.eventClientsRefused = refused_;
        figures_.requests = requests_;
        figures_.failedRequests = failed_;
        return figures_;
    }

  private:
    void followEvents(int port) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(30, 0);
        int messages = 0;
        const auto result = client.Get("/api/events", [&](const char* data, std::size_t size) {
            messages += static_cast<int>(std::string_view(data, size).find("\n\n") != std::string_view::npos);
            return true;
        });
        if (result && result->status != 200) {
            ++refused_;
        } else if (messages > 1) {
            ++fed_;
        }
    }
    void request(int port, int which, std::chrono::microseconds period) {
        static constexpr const char* paths[] = {"/api/station", "/", "/api/records?limit=50",
                                                "/dashboard.js"};
        httplib::Client client("127.0.0.1", port);
        client.set_keep_alive(true);
        auto next = Steady::now();
        for (long n = which; !stopping_; ++n) {
            std::this_thread::sleep_until(next += period);
            const auto result = client.Get(paths[n % 4]);
            ++requests_;
            failed_ += static_cast<long>(!result || result->status != 200);
        }
    }

    Steady::time_point began_;
    std::vector<std::thread> threads_;
    std::vector<int> stalled_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> fed_{0};
    std::atomic<int> refused_{0};
    std::atomic<long> requests_{0};
    std::atomic<long> failed_{0};
    LoadFigures figures_;
};

// One upgrade of cameras with the page under load, or quiet (no server at all).
double run(const std::filesystem::path& folder, const FirmwareImage& image, int cameras, bool loaded,
           LoadFigures& figures) {
    std::filesystem::create_directories(folder);
    if (!loaded) {
        return timeOf(folder.string(), image, cameras);
    }
    std::unique_ptr<DashboardServer> server;
    std::unique_ptr<PageLoad> load;
    const auto serve = [&](StationState& state) {
        server = std::make_unique<DashboardServer>(state, DashboardSettings{});
        std::string error;
        if (!server->start(error)) {
            std::fprintf(stderr, "dashboard: %s\n", error.c_str());
            std::exit(2);
        }
        load = std::make_unique<PageLoad>(server->port(), 100, 4, 1000);
    };
    const auto quiet = [&] {
        load->quiet();
        server->stop();
        figures = load->stop();
    };
    return timeOf(folder.string(), image, cameras, serve, quiet);
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const int cameras = quick ? 2 : 8;
    const int rounds = quick ? 1 : 3;
    FirmwareImage image{"bench.bin", std::vector<std::uint8_t>(16384, 0x5a), "bench"};
    const auto root =
        std::filesystem::temp_directory_path() / ("orvane-dashboard-bench-" + std::to_string(getpid()));
    std::vector<double> quiet;
    std::vector<double> loaded;
    LoadFigures figures;
    for (int round = 0; round < rounds; ++round) {
        quiet.push_back(run(root / ("quiet" + std::to_string(round)), image, cameras, false, figures));
        loaded.push_back(run(root / ("loaded" + std::to_string(round)), image, cameras, true, figures));
    }
    std::filesystem::remove_all(root);

    const double ratio = median(loaded) / median(quiet);
    const bool met = ratio <= 1.05;
    Table table({"measure", "value", "goal"});
    table.add(
        {std::to_string(cameras) + " cameras, page quiet (median)", fixed(median(quiet), 2) + " s", ""});
    table.add({std::to_string(cameras) + " cameras, page hammered (median)", fixed(median(loaded), 2) + " s",
               met ? "met (within 5 %)" : "MISSED (" + fixed((ratio - 1.0) * 100.0, 1) + " % slower)"});
    table.add({"requests answered, last run",
               fixed(static_cast<double>(figures.requests) / figures.seconds, 0) + " a second, " +
                   std::to_string(figures.failedRequests) + " failed",
               "1000 a second asked"});
    table.add({"event clients followed to the end",
               std::to_string(figures.eventClientsFed) + " of 100, " +
                   std::to_string(figures.eventClientsRefused) + " refused",
               ""});
    table.print();
    return met ? 0 : 1;
}
