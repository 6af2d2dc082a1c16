// Small helpers the benchmark programs share: timing statistics, table printing and the
// process's memory and CPU figures. Header only, so every bench/*.cpp stays one program.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <vector>

namespace orvane::bench {

using Millis = std::chrono::duration<double, std::milli>;

// The value below which the given share of samples lies (nearest rank), 0 for no samples.
inline double percentile(std::vector<double> samples, double share) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(share * static_cast<double>(samples.size()) + 0.999999);
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

inline double median(std::vector<double> samples) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2.0;
}

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"), 0 when it cannot be read.
inline std::uint64_t statusKib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stoull(line.substr(field.size() + 1));
        }
    }
    return 0;
}

// Starts a new peak-memory measurement: the kernel sets VmHWM back to the current VmRSS.
// Answers false where the kernel does not allow it.
inline bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

inline double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// CPU time and context switches of the calling thread.
struct ThreadUsage {
    double cpu = 0.0;
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;

    static ThreadUsage now() {
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        return {cpuSeconds(CLOCK_THREAD_CPUTIME_ID), usage.ru_nvcsw, usage.ru_nivcsw};
    }
    ThreadUsage operator-(const ThreadUsage& earlier) const {
        return {cpu - earlier.cpu, voluntarySwitches - earlier.voluntarySwitches,
                involuntarySwitches - earlier.involuntarySwitches};
    }
};

// A plain text table with right-aligned columns, printed whole.
class Table {
  public:
    explicit Table(std::vector<std::string> header) { rows_.push_back(std::move(header)); }
    void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    void print() const {
        std::vector<std::size_t> widths(rows_.front().size(), 0);
        for (const auto& row : rows_) {
            for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
                widths[i] = std::max(widths[i], row[i].size());
            }
        }
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            std::string line = "|";
            for (std::size_t i = 0; i < widths.size(); ++i) {
                const std::string& cell = i < rows_[r].size() ? rows_[r][i] : std::string();
                // Appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) on " " +
                // std::string(...).
                line.append(widths[i] - cell.size() + 1, ' ').append(cell).append(" |");
            }
            std::puts(line.c_str());
            if (r == 0) {
                std::string rule = "|";
                for (std::size_t width : widths) {
                    rule += std::string(width + 1, '-') + ":|";
                }
                std::puts(rule.c_str());
            }
        }
        std::fflush(stdout);
    }

  private:
    std::vector<std::vector<std::string>> rows_;
};

inline std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace orvane::bench
