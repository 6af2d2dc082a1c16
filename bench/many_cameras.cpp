// A production line's station: `orvane-cli upgrade` with 1, 2, 4 and 8 ports at once against
// as many virtual cameras (in this process, every byte paced at the line rate, 115200 bit/s,
// flash time 0), 64 KiB each. The total time against one camera's shows whether the cameras
// really run side by side; the CPU time of the orvane-cli process (all its job and receiver
// threads, from wait4) shows what the host pays for them.
//
//   many_cameras            1, 2, 4 and 8 cameras, 64 KiB (about a minute)
//   many_cameras --quick    1 and 8 cameras, 16 KiB
#include "bench/bench_support.h"
#include "sim/virtual_camera.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using namespace orvane;
using namespace orvane::bench;
using Clock = std::chrono::steady_clock;

constexpr int speed = 115200;
constexpr double goalRatio = 1.2;
constexpr double goalCpuShare = 0.05;

struct Figures {
    double seconds = 0.0;
    double cpuSeconds = 0.0; // user + system of the orvane-cli process
    int exitStatus = -1;
    unsigned matching = 0; // cameras holding exactly the image
};

std::vector<std::uint8_t> imageOf(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 131 + i / 7) & 0xFF);
    }
    return bytes;
}

double secondsOf(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

Figures runStation(unsigned count, const std::string& imagePath, const std::vector<std::uint8_t>& image) {
    Figures figures;
    std::vector<std::unique_ptr<VirtualCamera>> cameras;
    std::vector<std::string> args{
        ORVANE_CLI_PATH,      "upgrade", imagePath, "--bps", std::to_string(speed), "--upbps",
        std::to_string(speed)};
    for (unsigned k = 0; k < count; ++k) {
        VirtualCameraOptions options;
        options.lineSpeed = speed;
        options.upgradeSpeed = speed;
        options.pacing = true;
        cameras.push_back(std::make_unique<VirtualCamera>(options));
        if (!cameras.back()->start()) {
            std::fprintf(stderr, "cannot start a virtual camera: %s\n", cameras.back()->error().c_str());
            return figures;
        }
        args.push_back("--port");
        args.push_back(cameras.back()->devicePath());
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto started = Clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, ORVANE_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start orvane-cli: %s\n", std::strerror(rc));
        return figures;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    figures.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    figures.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (const auto& camera : cameras) {
        const auto verdict = camera->waitForVerdict(std::chrono::seconds{2});
        figures.matching += verdict && verdict->matches && verdict->image == image ? 1 : 0;
        camera->stop();
    }
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const std::size_t size = quick ? 16 * 1024 : 64 * 1024;
    const std::vector<unsigned> counts =
        quick ? std::vector<unsigned>{1, 8} : std::vector<unsigned>{1, 2, 4, 8};
    const std::vector<std::uint8_t> image = imageOf(size);
    const std::string imagePath = (std::filesystem::temp_directory_path() /
                                   ("orvane-many-cameras-" + std::to_string(getpid()) + ".bin"))
                                      .string();
    {
        std::ofstream file(imagePath, std::ios::binary);
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }

    std::printf("orvane-cli upgrade, %zu KiB per camera, %d bit/s, paced virtual cameras\n\n", size / 1024,
                speed);
    Table table(
        {"cameras", "total s", "ratio to 1", "host CPU s", "host CPU % of a core", "exit", "images held"});
    double one = 0.0;
    bool goals = true;
    for (const unsigned count : counts) {
        const Figures f = runStation(count, imagePath, image);
        if (count == 1) {
            one = f.seconds;
        }
        const double ratio = one > 0.0 ? f.seconds / one : 0.0;
        const double share = f.seconds > 0.0 ? f.cpuSeconds / f.seconds : 0.0;
        goals =
            goals && f.exitStatus == 0 && f.matching == count && ratio <= goalRatio && share < goalCpuShare;
        table.add({std::to_string(count), fixed(f.seconds, 2), fixed(ratio, 3), fixed(f.cpuSeconds, 3),
                   fixed(100.0 * share, 2), std::to_string(f.exitStatus),
                   std::to_string(f.matching) + "/" + std::to_string(count)});
    }
    std::filesystem::remove(imagePath);
    table.print();
    std::printf("\ngoals: ratio <= %.1f, host CPU < %.0f %% of a core: %s\n", goalRatio, 100.0 * goalCpuShare,
                goals ? "met" : "NOT met");
    return goals ? 0 : 1;
}
