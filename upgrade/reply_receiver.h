// The one reader of the serial port: a background thread that reads whatever the camera
// sends and raises ReplyFlags for the replies it recognises. It never writes, never clears
// a flag and knows nothing of a running job; the job polls the flags, or waits for their
// signal, which the receiver rings after every flag it raises.
#pragma once

#include "serial/serial_link.h"
#include "upgrade/clock.h"
#include "upgrade/reply_flags.h"

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <thread>

namespace orvane {

inline constexpr std::chrono::milliseconds closedPortPause{1000};
inline constexpr std::chrono::milliseconds receiverPassPause{10};
inline constexpr std::size_t replyReadSize = 128;

// The receiving loop, until stop is requested: while the port is closed it only pauses
// 1000 ms at a time (the assembly state waits for the port to come back); a ring of
// flags.portOpened ends that pause early once the port is open in ReadMode::LowLatency.
// Otherwise it reads up to 128 bytes into a zeroed buffer, assembles and compares, and pauses
// 10 ms; with the port in ReadMode::LowLatency a read that brought bytes is followed by the
// next read at once (the port's read waits for bytes, so this never spins). Allocates nothing.
// The closed-port pause ends early on a stop request when flags.portOpened is rung after it
// (ReplyReceiver::stop does); the 10 ms pause runs out; a read ends by its own time-out.
void runReplyReceiver(SerialLink& port, ReplyFlags& flags, Clock& clock, std::stop_token stop);

// The thread's procedure: runs the loop and answers 0 when a stop request has ended it.
int ReplyThreadProc(std::stop_token stop, SerialLink& port, ReplyFlags& flags, Clock& clock);

// Owns the receiver thread: started on construction, stopped and joined by stop() or on
// destruction. The port, the flags and the clock must outlive it.
class ReplyReceiver {
  public:
    ReplyReceiver(SerialLink& port, ReplyFlags& flags);
    ReplyReceiver(SerialLink& port, ReplyFlags& flags, Clock& clock);
    ~ReplyReceiver();

    ReplyReceiver(const ReplyReceiver&) = delete;
    ReplyReceiver& operator=(const ReplyReceiver&) = delete;

    // Requests the stop and waits for the thread; at most one pending read's time-out.
    // Safe to call more than once.
    void stop();
    bool running() const;

  private:
    SystemClock ownClock_;
    ReplyFlags& flags_;
    std::jthread thread_;
};

} // namespace orvane
