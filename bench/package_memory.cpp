// Packaging a raw image far larger than the memory it may take: a 1 GiB raw image, generated
// here piece by piece, packaged by the operation behind the dialog's packaging commands and
// `orvane-cli package` (streamed read, header, safe write with fsync and rename). Prints the
// size, the time and the process's peak resident memory (getrusage ru_maxrss, the whole
// process's high-water mark, generation included); the goal is a peak under 64 MiB.
//
//   package_memory            1 GiB
//   package_memory --mib N    N MiB
#include "bench/bench_support.h"
#include "imagetools/device_image.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace orvane;
using namespace orvane::bench;

constexpr double goalMib = 64.0;

// mib MiB of bytes that do not repeat, written 1 MiB at a time.
bool writeRawImage(const std::filesystem::path& path, std::uint64_t mib) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> piece(std::size_t{1} << 20);
    std::uint32_t state = 12345;
    for (std::uint64_t i = 0; i < mib && out; ++i) {
        for (char& byte : piece) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<char>(state >> 24);
        }
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
    return static_cast<bool>(out);
}

double peakResidentMib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // KiB on Linux
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = 1024;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mib" && i + 1 < argc) {
            mib = std::stoull(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: package_memory [--mib N]\n");
            return 2;
        }
    }
    char folderTemplate[] = "/tmp/orvane-package-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder(folderTemplate);
    const auto rawPath = folder / "fw.bin";
    if (!writeRawImage(rawPath, mib)) {
        std::fprintf(stderr, "package_memory: cannot write %s\n", rawPath.c_str());
        std::filesystem::remove_all(folder);
        return 1;
    }

    const auto began = std::chrono::steady_clock::now();
    const PackageOutcome outcome = PackageDeviceImage('2', rawPath.string());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double peak = peakResidentMib();
    const std::uint64_t written =
        outcome.written ? std::filesystem::file_size(outcome.outputPath) : std::uint64_t{0};
    const bool met = outcome.written && written == (mib << 20) + 5 && peak < goalMib;

    Table table(
        {"raw image MiB", "device image bytes", "time s", "peak RSS MiB (ru_maxrss)", "goal (< 64 MiB)"});
    table.add({std::to_string(mib), std::to_string(written), fixed(seconds, 2), fixed(peak, 1),
               met ? "met" : "MISSED"});
    table.print();
    if (!outcome.written) {
        std::fprintf(stderr, "package_memory: %s\n", outcome.detail.c_str());
    }
    std::filesystem::remove_all(folder);
    return met ? 0 : 1;
}
