#include "upgrade/reply_receiver.h"

#include "upgrade/reply_assembly.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>

namespace orvane {

void runReplyReceiver(SerialLink& port, ReplyFlags& flags, Clock& clock, std::stop_token stop) {
    // Lives as long as the loop: nothing is allocated per pass.
    std::array<std::uint8_t, replyReadSize> buffer{};
    ReplyAssembly assembly;
    // Replies wanted as soon as they are in cannot wait out the rest of a closed-port pause.
    const std::function<bool()> readAtOnce = [&port] {
        return port.isOpen() && port.readMode() == ReadMode::LowLatency;
    };
    while (!stop.stop_requested()) {
        if (!port.isOpen()) {
            clock.sleepUnlessWoken(closedPortPause, stop, flags.portOpened, readAtOnce);
            continue;
        }
        buffer.fill(0);
        const int n = port.readPort(buffer);
        const std::size_t received = n > 0 ? static_cast<std::size_t>(n) : 0;
        const Reply reply = receiveBytes(
            assembly, std::span<const std::uint8_t>(buffer).first(std::min(received, buffer.size())), flags);
        if (reply != Reply::None) {
            flags.raised.ring();
        }
        // Reads that end as soon as bytes are there wait in the port for the next ones: the
        // pause would only delay them. After an empty read it stays, so nothing can spin.
        if (received > 0 && port.readMode() == ReadMode::LowLatency) {
            continue;
        }
        clock.sleepUnlessStopped(receiverPassPause, stop);
    }
}

int ReplyThreadProc(std::stop_token stop, SerialLink& port, ReplyFlags& flags, Clock& clock) {
    runReplyReceiver(port, flags, clock, std::move(stop));
    return 0;
}

ReplyReceiver::ReplyReceiver(SerialLink& port, ReplyFlags& flags) : ReplyReceiver(port, flags, ownClock_) {}

ReplyReceiver::ReplyReceiver(SerialLink& port, ReplyFlags& flags, Clock& clock)
    : flags_(flags), thread_([&port, &flags, &clock](std::stop_token stop) {
          ReplyThreadProc(std::move(stop), port, flags, clock);
      }) {}

ReplyReceiver::~ReplyReceiver() {
    stop();
}

void ReplyReceiver::stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        flags_.portOpened.ring(); // ends a closed-port pause now rather than within a second
        thread_.join();
    }
}

bool ReplyReceiver::running() const {
    return thread_.joinable();
}

} // namespace orvane
