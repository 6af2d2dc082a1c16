// How exactly the virtual camera paces a block and its reply, and whether it leaves room for
// a host that answers at once. A plain host (raw termios, no product code but the speed
// setting) writes a DataBlock, waits for the reply with poll and writes the next block the
// moment the reply is in. Per block, the round trip against its exact figure: the wire time
// of the 1030-byte block and the 5-byte reply at 10 bits a byte, plus the reply delay.
//
//   reply_pacing                 200 blocks at 115200, 230400, 460800, 921600; 921600 with 5 ms delay
//   reply_pacing --blocks N      N blocks per row
#include "bench/bench_support.h"
#include "serial/line_speed.h"
#include "sim/virtual_camera.h"

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace orvane;
using namespace orvane::bench;
using Clock = std::chrono::steady_clock;

struct Row {
    int speed;
    std::chrono::milliseconds replyDelay;
};

class RawHost {
  public:
    ~RawHost() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool open(const std::string& path, int speed) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            return false;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd_, TCSANOW, &t);
        return applyLineSpeed(fd_, speed) == speed;
    }
    bool write(std::span<const std::uint8_t> bytes) {
        while (!bytes.empty()) {
            const auto n = ::write(fd_, bytes.data(), bytes.size());
            if (n <= 0)
                return false;
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        }
        return true;
    }
    // The 5-byte reply, or nothing within two seconds.
    std::vector<std::uint8_t> reply() {
        std::vector<std::uint8_t> got;
        std::uint8_t buffer[64];
        pollfd p{fd_, POLLIN, 0};
        while (got.size() < 5 && ::poll(&p, 1, 2000) == 1) {
            const auto n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

  private:
    int fd_ = -1;
};

struct Outcome {
    std::vector<double> lateMs; // round trip minus its exact figure, per block
    double share = 0.0;         // the image's wire time against the whole run's time
    std::string error;
};

Outcome runRow(const Row& row, std::uint32_t blocks) {
    Outcome outcome;
    VirtualCameraOptions options;
    options.lineSpeed = row.speed;
    options.upgradeSpeed = row.speed;
    options.pacing = true;
    options.replyDelay = row.replyDelay;
    VirtualCamera camera(options);
    RawHost host;
    if (!camera.start() || !host.open(camera.portPath(), row.speed)) {
        outcome.error = "cannot start: " + camera.error();
        return outcome;
    }
    const std::vector<std::uint8_t> image(std::size_t{blocks} * blockDataSize, 0x3C);
    const auto talk = [&host](std::span<const std::uint8_t> frame, const ShortFrame& expected) {
        return host.write(frame) &&
               host.reply() == std::vector<std::uint8_t>(expected.begin(), expected.end());
    };
    const auto enter = makeEnterUpgradeCommand(1, UpgradeTarget::MainBoard);
    const auto start = makeStartCommand(UpgradeTarget::MainBoard);
    const auto header = makeSizeHeader(static_cast<std::uint32_t>(image.size()));
    if (!talk(enter, enterAckReply) || !talk(start, headerRequestReply) || !talk(header, blockAckReply)) {
        outcome.error = "the exchange did not start";
        return outcome;
    }
    const double exactMs = Millis(exactWireTime(1030 + 5, row.speed) + row.replyDelay).count();
    const auto began = Clock::now();
    for (std::uint32_t n = 1; n <= blocks; ++n) {
        const auto frame = makeDataBlock(image, (n - 1) * blockDataSize, n);
        const auto before = Clock::now();
        if (!talk(frame, blockAckReply)) {
            outcome.error = "block " + std::to_string(n) + " was not acknowledged";
            return outcome;
        }
        outcome.lateMs.push_back(Millis(Clock::now() - before).count() - exactMs);
    }
    const double lineMs = Millis(exactWireTime(image.size(), row.speed)).count();
    outcome.share = lineMs / Millis(Clock::now() - began).count();
    return outcome;
}

} // namespace

int main(int argc, char** argv) {
    std::uint32_t blocks = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--blocks" && i + 1 < argc) {
            blocks = static_cast<std::uint32_t>(std::stoul(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: reply_pacing [--blocks N]\n");
            return 2;
        }
    }
    using std::chrono::milliseconds;
    const Row rows[] = {{115200, milliseconds{0}},
                        {230400, milliseconds{0}},
                        {460800, milliseconds{0}},
                        {921600, milliseconds{0}},
                        {921600, milliseconds{5}}};
    // Goals: never early; late by no more than 0.5 ms at the median (six bytes at 115200); at
    // 115200 without delay a typical block at 98 % of line rate or more. The tail is the
    // machine's scheduling, reported but not judged.
    Table table({"speed", "reply delay ms", "blocks", "exact ms/block", "early", "late median ms",
                 "late p95 ms", "late max ms", "line rate, median block", "line rate, whole run", "goal"});
    bool allMet = true;
    for (const Row& row : rows) {
        const Outcome outcome = runRow(row, blocks);
        if (!outcome.error.empty()) {
            std::fprintf(stderr, "%d bit/s: %s\n", row.speed, outcome.error.c_str());
            allMet = false;
            continue;
        }
        const auto early =
            std::count_if(outcome.lateMs.begin(), outcome.lateMs.end(), [](double l) { return l < -0.01; });
        const double med = median(outcome.lateMs);
        const double p95 = percentile(outcome.lateMs, 0.95);
        const double worst = percentile(outcome.lateMs, 1.0);
        const double exactMs = Millis(exactWireTime(1035, row.speed) + row.replyDelay).count();
        const double typicalShare = Millis(exactWireTime(blockDataSize, row.speed)).count() / (exactMs + med);
        const bool shareGoal = row.speed != 115200 || row.replyDelay.count() != 0 || typicalShare >= 0.98;
        const bool met = early == 0 && med <= 0.5 && shareGoal;
        allMet = allMet && met;
        table.add({std::to_string(row.speed), std::to_string(row.replyDelay.count()), std::to_string(blocks),
                   fixed(exactMs, 3), std::to_string(early), fixed(med, 3), fixed(p95, 3), fixed(worst, 3),
                   fixed(typicalShare * 100.0, 1) + " %", fixed(outcome.share * 100.0, 1) + " %",
                   met ? "met" : "MISSED"});
    }
    table.print();
    return allMet ? 0 : 1;
}
