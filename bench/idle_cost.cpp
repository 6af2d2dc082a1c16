// What the reply receiver costs while nothing happens: the real receiving loop with the port
// closed (it pauses 1000 ms at a time) and with the port open on a silent pseudo-terminal (a
// read waits up to 628 ms, then a 10 ms pause). Measures the receiver thread's own CPU time
// and how often it woke up; the goal is under 0.5 % of one core.
//
//   idle_cost               10 s each
//   idle_cost --seconds N   N s each
#include "bench/bench_support.h"
#include "serial/serial_port.h"
#include "sim/pseudo_terminal.h"
#include "upgrade/reply_receiver.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace orvane;
using namespace orvane::bench;

// The port, counting the receiver's reads on the way through.
class CountingLink final : public SerialLink {
  public:
    explicit CountingLink(SerialLink& inner) : inner_(inner) {}
    int openPort(std::string_view name, int baud, int parity, int size, int stop) override {
        return inner_.openPort(name, baud, parity, size, stop);
    }
    int closePort() override { return inner_.closePort(); }
    int writePort(std::span<const std::uint8_t> bytes) override { return inner_.writePort(bytes); }
    int readPort(std::span<std::uint8_t> buffer) override {
        reads.fetch_add(1, std::memory_order_relaxed);
        return inner_.readPort(buffer);
    }
    bool isOpen() const override { return inner_.isOpen(); }
    int lastError() const override { return inner_.lastError(); }
    std::atomic<long> reads{0};

  private:
    SerialLink& inner_;
};

struct Measured {
    double seconds = 0.0;
    ThreadUsage usage;
    long reads = 0;
};

// Runs the receiving loop on a thread of its own for the given time and measures that thread.
Measured measure(SerialLink& port, std::chrono::seconds duration) {
    CountingLink counting(port);
    ReplyFlags flags;
    SystemClock clock;
    Measured measured;
    const auto began = std::chrono::steady_clock::now();
    {
        std::jthread receiver([&](std::stop_token stop) {
            const ThreadUsage before = ThreadUsage::now();
            runReplyReceiver(counting, flags, clock, stop);
            measured.usage = ThreadUsage::now() - before;
        });
        std::this_thread::sleep_for(duration);
        receiver.request_stop();
        flags.portOpened.ring();
    }
    measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    measured.reads = counting.reads.load();
    return measured;
}

std::string row(const Measured& m, Table& table, const std::string& state) {
    const double share = m.usage.cpu / m.seconds * 100.0;
    const long wakeups = m.usage.voluntarySwitches + m.usage.involuntarySwitches;
    table.add({state, fixed(m.seconds, 1), fixed(m.usage.cpu * 1000.0, 2), fixed(share, 4) + " %",
               std::to_string(wakeups), fixed(static_cast<double>(wakeups) / m.seconds, 1),
               std::to_string(m.reads), share < 0.5 ? "met (< 0.5 %)" : "MISSED"});
    return share < 0.5 ? "" : state;
}

} // namespace

int main(int argc, char** argv) {
    std::chrono::seconds duration{10};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            duration = std::chrono::seconds{std::stoi(argv[++i])};
        } else {
            std::fprintf(stderr, "usage: idle_cost [--seconds N]\n");
            return 2;
        }
    }

    SerialPort port;
    const Measured closed = measure(port, duration);

    // A line nobody talks on: the far end of a pseudo-terminal that stays silent.
    PseudoTerminal silentLine;
    std::string error;
    if (!silentLine.open(9600, error)) {
        std::fprintf(stderr, "idle_cost: %s\n", error.c_str());
        return 1;
    }
    if (port.openPort(silentLine.slavePath(), 9600, parityNone, 8, oneStopBit) != 1) {
        std::fprintf(stderr, "idle_cost: cannot open %s\n", silentLine.slavePath().c_str());
        return 1;
    }
    const Measured open = measure(port, duration);
    port.closePort();

    Table table({"port", "s", "CPU ms", "CPU share of one core", "wake-ups", "wake-ups/s", "reads", "goal"});
    std::string missed = row(closed, table, "closed");
    missed += row(open, table, "open, silent line");
    table.print();
    return missed.empty() ? 0 : 1;
}
