// The HEX merge at the size of the largest images in use: a 16 MiB boot loader and a 16 MiB
// application HEX file, generated here, merged by the same operation the dialog's APP button
// and the command line run (reading, shape checks, splice, safe write). Measures the time and
// the peak memory the merge adds; the goals are under 1 s and under 4 times the input size.
//
//   hex_merge            16 MiB + 16 MiB, best of 3 runs
//   hex_merge --mib N    N MiB each
#include "imagetools/hex_merge.h"

#include "bench/bench_support.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace orvane;
using namespace orvane::bench;

// Writes Intel HEX records with CR LF line ends, streaming, so generating the inputs does not
// itself raise the process's memory.
class HexWriter {
  public:
    explicit HexWriter(const std::filesystem::path& path) : out_(path, std::ios::binary) {}

    void record(std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::size_t count) {
        static constexpr char digits[] = "0123456789ABCDEF";
        std::string line = ":";
        unsigned sum = 0;
        const auto put = [&](std::uint8_t byte) {
            line += digits[byte >> 4];
            line += digits[byte & 0x0F];
            sum += byte;
        };
        put(static_cast<std::uint8_t>(count));
        put(static_cast<std::uint8_t>(address >> 8));
        put(static_cast<std::uint8_t>(address));
        put(type);
        for (std::size_t i = 0; i < count; ++i) {
            put(data[i]);
        }
        put(static_cast<std::uint8_t>(-sum));
        line += "\r\n";
        out_ << line;
        written_ += line.size();
    }
    void linearBase(std::uint16_t upper) {
        const std::uint8_t data[2] = {static_cast<std::uint8_t>(upper >> 8),
                                      static_cast<std::uint8_t>(upper)};
        record(0x04, 0, data, 2);
    }
    std::uint64_t written() const { return written_; }

  private:
    std::ofstream out_;
    std::uint64_t written_ = 0;
};

// Data records of 32 bytes from the address upper:0000 on until the file holds about
// targetBytes; answers the upper address in effect at the end.
std::uint16_t writeData(HexWriter& hex, std::uint16_t upper, std::uint64_t targetBytes) {
    std::uint8_t data[32];
    std::uint32_t state = upper * 2654435761u + 1u;
    std::uint32_t offset = 0;
    while (hex.written() < targetBytes) {
        for (auto& byte : data) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        hex.record(0x00, static_cast<std::uint16_t>(offset), data, sizeof data);
        offset += sizeof data;
        if (offset == 0x10000) {
            offset = 0;
            hex.linearBase(++upper);
        }
    }
    return upper;
}

std::uint64_t fileSize(const std::filesystem::path& path) {
    return std::filesystem::file_size(path);
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = 16;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mib" && i + 1 < argc) {
            mib = std::stoull(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: hex_merge [--mib N]\n");
            return 2;
        }
    }

    char folderTemplate[] = "/tmp/orvane-hexmerge-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder(folderTemplate);
    const auto ublPath = folder / "ubl.hex";
    const auto appPath = folder / "app.hex";
    const std::uint64_t target = mib << 20;
    // Above the merge's fixed bytes at 0x0803CFFC, which data of its own must not cover.
    std::uint16_t base = 0x0804;
    {
        HexWriter ubl(ublPath);
        ubl.linearBase(base);
        base = writeData(ubl, base, target - 30);
        // The application takes the next 64 KiB on, and must start with the base the boot
        // loader ends with.
        ubl.linearBase(++base);
        ubl.record(0x01, 0, nullptr, 0);
    }
    {
        HexWriter app(appPath);
        app.linearBase(base);
        writeData(app, base, target - 34);
        const std::uint8_t entry[4] = {0x08, 0x00, 0x01, 0x01};
        app.record(0x05, 0, entry, 4);
        app.record(0x01, 0, nullptr, 0);
    }
    const std::uint64_t inputBytes = fileSize(ublPath) + fileSize(appPath);

    double bestSeconds = 1e9;
    double worstPeakMib = 0.0;
    bool written = true;
    std::string error;
    constexpr int runs = 3;
    for (int run = 0; run < runs; ++run) {
        std::filesystem::remove(folder / "appall.hex");
        const bool peakReset = resetPeakMemory();
        const std::uint64_t rssBefore = statusKib("VmRSS");
        const auto began = std::chrono::steady_clock::now();
        const MergeOutcome outcome = MergeHexFiles({ublPath.string(), appPath.string(), {}});
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const std::uint64_t peak = statusKib("VmHWM");
        if (!peakReset) {
            error = "the kernel does not allow resetting the peak memory figure";
        }
        written = written && outcome.written;
        if (!outcome.written) {
            error = outcome.error;
        }
        bestSeconds = std::min(bestSeconds, seconds);
        worstPeakMib = std::max(worstPeakMib, static_cast<double>(peak - std::min(peak, rssBefore)) / 1024.0);
    }
    const std::uint64_t outputBytes =
        std::filesystem::exists(folder / "appall.hex") ? fileSize(folder / "appall.hex") : 0;
    const double inputMib = static_cast<double>(inputBytes) / (1 << 20);
    const double ratio = worstPeakMib / inputMib;
    const bool met = written && outputBytes == inputBytes + 8 && bestSeconds < 1.0 && ratio < 4.0;

    Table table({"input MiB (UBL + APP)", "output MiB", "time s (best of 3)", "peak memory added MiB (worst)",
                 "peak / input", "goals (< 1 s, < 4x)"});
    table.add({fixed(inputMib, 1), fixed(static_cast<double>(outputBytes) / (1 << 20), 1),
               fixed(bestSeconds, 3), fixed(worstPeakMib, 1), fixed(ratio, 2) + "x", met ? "met" : "MISSED"});
    table.print();
    if (!error.empty()) {
        std::fprintf(stderr, "hex_merge: %s\n", error.c_str());
    }
    std::filesystem::remove_all(folder);
    return met ? 0 : 1;
}
