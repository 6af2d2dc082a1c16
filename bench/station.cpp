// What the station costs and how fast it reacts: the time from a camera's link appearing in
// the watched folder to the first frame it hears (median and 95th percentile), the station
// thread's CPU while 16 slots are watched and nothing happens, and how long 32 cameras plugged
// at once take against one alone (goal: at most 1.1 times).
//
//   station           20 plugs, 10 s idle, 32 cameras
//   station --quick   5 plugs, 1 s idle, 8 cameras (about a quarter of a minute: each upgrade
//                     takes the job's fixed pauses, some 4 s)
#include "bench/station_bench.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace orvane;
using namespace orvane::bench;

// Plugs one camera at a time into a folder of 16 already flashed, for plugs samples.
std::vector<double> plugLatencies(const std::string& folder, const FirmwareImage& image, int plugs,
                                  std::chrono::seconds idle, ThreadUsage& idleUsage) {
    RunningStation station(folder, image);
    std::vector<std::unique_ptr<VirtualCamera>> slots;
    for (int i = 0; i < 16; ++i) {
        slots.push_back(camera(folder + "/slot" + std::to_string(i), nullptr));
    }
    station.front().waitForEnded(16);
    const ThreadUsage before = station.sample();
    std::this_thread::sleep_for(idle);
    idleUsage = station.sample() - before;
    // Plugged a moment apart, so each is seen alone; their upgrades overlap.
    std::vector<std::atomic<Steady::time_point>> first(static_cast<std::size_t>(plugs));
    std::vector<Steady::time_point> plugged;
    std::vector<std::unique_ptr<VirtualCamera>> more;
    for (int i = 0; i < plugs; ++i) {
        plugged.push_back(Steady::now());
        more.push_back(camera(folder + "/new" + std::to_string(i), &first[static_cast<std::size_t>(i)]));
        std::this_thread::sleep_for(std::chrono::milliseconds{50});
    }
    station.front().waitForEnded(16 + static_cast<unsigned>(plugs));
    std::vector<double> latencies;
    for (std::size_t i = 0; i < plugged.size(); ++i) {
        latencies.push_back(Millis(first[i].load() - plugged[i]).count());
    }
    station.stop();
    return latencies;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const int plugs = quick ? 5 : 20;
    const auto idle = std::chrono::seconds{quick ? 1 : 10};
    const int many = quick ? 8 : 32;
    FirmwareImage image{"bench.bin", std::vector<std::uint8_t>(8192, 0x5a), "bench"};
    const auto root =
        std::filesystem::temp_directory_path() / ("orvane-station-bench-" + std::to_string(getpid()));
    for (const char* folder : {"latency", "one", "many"}) {
        std::filesystem::create_directories(root / folder);
    }
    ThreadUsage idleUsage;
    const auto latencies = plugLatencies((root / "latency").string(), image, plugs, idle, idleUsage);
    const double one = timeOf((root / "one").string(), image, 1);
    const double all = timeOf((root / "many").string(), image, many);
    std::filesystem::remove_all(root);

    const double p95 = percentile(latencies, 0.95);
    Table table({"measure", "value", "goal"});
    table.add({"plug to first frame, median", fixed(median(latencies), 1) + " ms", ""});
    table.add({"plug to first frame, p95", fixed(p95, 1) + " ms", p95 <= 1000.0 ? "met (<= 1 s)" : "MISSED"});
    const double idleShare = idleUsage.cpu / static_cast<double>(idle.count()) * 100.0;
    table.add({"idle CPU, 16 slots watched", fixed(idleShare, 4) + " % of a core",
               idleShare < 0.5 ? "met (< 0.5 %)" : "MISSED"});
    const double ratio = all / one;
    table.add({"1 camera", fixed(one, 2) + " s", ""});
    table.add({std::to_string(many) + " cameras at once", fixed(all, 2) + " s",
               ratio <= 1.1 ? "met (<= 1.1x)" : "MISSED (" + fixed(ratio, 2) + "x)"});
    table.print();
    return p95 <= 1000.0 && ratio <= 1.1 && idleShare < 0.5 ? 0 : 1;
}
