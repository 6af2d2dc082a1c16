// How fast a real upgrade runs against the physical limit of the line: the upgrade job, the
// reply receiver and the termios port against the virtual camera on a pseudo-terminal that
// paces every byte at 10 bits, camera flash time 0. Per block the cycle from one DataBlock
// written to the next holds the wire time of the block and its reply; the rest is the host's
// overhead (the receiver's 100 ms read interval, its 10 ms pause, the 5 ms poll, and ours).
//
//   upgrade_throughput            64 KiB at 9600 and 115200, 512 KiB at 115200 (about 3.5 min)
//   upgrade_throughput --quick    64 KiB at 115200 only (about 20 s)
//   upgrade_throughput --full     also 512 KiB at 9600 (about 10 more minutes of wire time)
//   upgrade_throughput --run SPEED KIB   one run of your own
#include "bench/bench_support.h"

#include "serial/serial_port.h"
#include "sim/virtual_camera.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_job.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace orvane;
using namespace orvane::bench;
using Clock = std::chrono::steady_clock;

constexpr int lineSpeed = 9600;
// The design's overhead per block (read interval, receiver pause, poll) and what we may add.
constexpr double designOverheadMaxMs = 115.0;
constexpr double allowedExtraMs = 10.0;

struct Run {
    int speed = 0;
    std::uint32_t kib = 0;
};

class FixedInputs final : public UpgradeInputs {
public:
    FixedInputs(std::string image, std::string port, int upgradeSpeed)
        : image_(std::move(image)), port_(std::move(port)), upgradeSpeed_(upgradeSpeed) {}
    std::string imagePath() override { return image_; }
    std::string portName() override { return port_; }
    int lineSpeed() override { return ::lineSpeed; }
    int address() override { return 1; }
    int upgradeSpeed() override { return upgradeSpeed_; }

private:
    std::string image_, port_;
    int upgradeSpeed_;
};

// Keeps the log and stamps the moment each DataBlock has been written.
class TimingLog final : public UpgradeLog {
public:
    void replaceLog(const std::string& text) override {
        const std::lock_guard lock(mutex_);
        text_ = text;
    }
    void appendLog(const std::string& text) override {
        const std::lock_guard lock(mutex_);
        text_ += text;
    }
    std::string showWithLog(const std::string& tail) override {
        const std::lock_guard lock(mutex_);
        return text_ + tail;
    }
    void progress(const UpgradeProgress& progress) override {
        if (progress.percent < 100 || progress.offset < progress.length) {
            written.push_back(Clock::now());
        }
    }
    std::string text() {
        const std::lock_guard lock(mutex_);
        return text_;
    }
    std::vector<Clock::time_point> written; // job thread only

private:
    std::mutex mutex_;
    std::string text_;
};

std::vector<std::uint8_t> imageOf(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 0x9E3779B9u;
    for (auto& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    return bytes;
}

struct Outcome {
    int result = -1;
    bool imageMatches = false;
    std::vector<double> cycleMs;
    double jobSeconds = 0.0;
    std::string error;
};

Outcome runOnce(const Run& run, const std::filesystem::path& folder) {
    Outcome outcome;
    const auto image = imageOf(std::size_t{run.kib} * 1024);
    const auto imagePath = folder / ("image_" + std::to_string(run.kib) + ".bin");
    std::ofstream(imagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

    VirtualCameraOptions options;
    options.lineSpeed = lineSpeed;
    options.upgradeSpeed = run.speed;
    options.pacing = true;
    options.flashTime = std::chrono::milliseconds{0};
    VirtualCamera camera(options);
    if (!camera.start()) {
        outcome.error = camera.error();
        return outcome;
    }

    SerialPort port;
    ReplyFlags flags;
    SystemClock clock;
    FixedInputs inputs(imagePath.string(), camera.portPath(), run.speed);
    TimingLog log;
    ReplyReceiver receiver(port, flags);
    const UpgradeJobContext context{port, flags, clock, inputs, log};

    const auto began = Clock::now();
    outcome.result = runUpgradeJob(context).result;
    outcome.jobSeconds = std::chrono::duration<double>(Clock::now() - began).count();
    receiver.stop();

    const auto verdict = camera.waitForVerdict(std::chrono::milliseconds{2000});
    outcome.imageMatches = verdict && verdict->matches && verdict->image == image;
    for (std::size_t i = 1; i < log.written.size(); ++i) {
        outcome.cycleMs.push_back(Millis(log.written[i] - log.written[i - 1]).count());
    }
    if (outcome.result != 0) {
        outcome.error = log.text();
    }
    return outcome;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Run> runs{{9600, 64}, {115200, 64}, {115200, 512}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            runs = {{115200, 64}};
        } else if (arg == "--full") {
            runs = {{9600, 64}, {9600, 512}, {115200, 64}, {115200, 512}};
        } else if (arg == "--run" && i + 2 < argc) {
            runs = {{std::stoi(argv[i + 1]), static_cast<std::uint32_t>(std::stoul(argv[i + 2]))}};
            i += 2;
        } else {
            std::fprintf(stderr, "usage: upgrade_throughput [--quick | --full | --run SPEED KIB]\n");
            return 2;
        }
    }

    char folderTemplate[] = "/tmp/orvane-throughput-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder(folderTemplate);

    Table table({"upgrade speed", "image", "blocks", "wire/block ms", "measured/block ms (median)",
                 "overhead median ms", "overhead p95 ms", "share of line rate", "job s", "image ok",
                 "overhead goal"});
    bool allMet = true;
    for (const Run& run : runs) {
        const Outcome outcome = runOnce(run, folder);
        // A cycle carries one 1030-byte DataBlock and one 5-byte reply at 10 bits a byte.
        const double wireMs = (1030.0 + 5.0) * 10.0 * 1000.0 / run.speed;
        const double payloadMs = 1024.0 * 10.0 * 1000.0 / run.speed;
        std::vector<double> overhead;
        double cycleSum = 0.0;
        for (double cycle : outcome.cycleMs) {
            overhead.push_back(cycle - wireMs);
            cycleSum += cycle;
        }
        const double share = outcome.cycleMs.empty() ? 0.0
                                                     : payloadMs * static_cast<double>(outcome.cycleMs.size()) / cycleSum;
        const double p95 = percentile(overhead, 0.95);
        const bool met = outcome.result == 0 && outcome.imageMatches &&
                         median(overhead) <= designOverheadMaxMs + allowedExtraMs &&
                         p95 <= designOverheadMaxMs + allowedExtraMs;
        allMet = allMet && met;
        table.add({std::to_string(run.speed), std::to_string(run.kib) + " KiB", std::to_string(run.kib),
                   fixed(wireMs, 1), fixed(median(outcome.cycleMs), 1), fixed(median(overhead), 1), fixed(p95, 1),
                   fixed(share * 100.0, 1) + " %", fixed(outcome.jobSeconds, 1), outcome.imageMatches ? "yes" : "NO",
                   met ? "met (<= 125 ms)" : "MISSED"});
        if (!outcome.error.empty()) {
            std::fprintf(stderr, "%d bit/s, %u KiB: %s\n", run.speed, run.kib, outcome.error.c_str());
        }
    }
    table.print();
    std::filesystem::remove_all(folder);
    return allMet ? 0 : 1;
}
