// One firmware upgrade: image file to camera board, over the port, answered through the
// reply receiver's flags. The job knows nothing of the front end: it reads the user's
// choices through UpgradeInputs at the steps that need them, writes through UpgradeLog and
// waits through an injected Clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "serial/serial_link.h"
#include "upgrade/clock.h"
#include "upgrade/frames.h"
#include "upgrade/reply_flags.h"

namespace orvane {

// The board the job being started addresses; written by the front end before the job
// starts, read by the job when it builds its frames and decides on the 115200 switch.
extern std::atomic<std::uint8_t> upgradeTarget;

// The user's choices, read at the steps that use them (the dialog reads its controls then).
class UpgradeInputs {
public:
    virtual ~UpgradeInputs() = default;
    virtual std::string imagePath() = 0; // empty: no file chosen
    virtual std::string portName() = 0;
    virtual int lineSpeed() = 0;
    virtual int address() = 0;
    virtual int upgradeSpeed() = 0;
};

struct UpgradeProgress {
    unsigned percent = 0;          // as shown in the progress line
    std::uint32_t offset = 0;      // first byte of the block just written
    std::uint32_t length = 0;      // image length
    std::uint32_t blockNumber = 0; // 1-based, before wrapping to 16 bits
    std::uint32_t blockCount = 0;  // DataBlocks the image needs (ceil(length / 1024))
    bool resend = false;           // the same block again after a BlockNak
};

// The log box. Each call is applied whole by the log's owner (the dialog applies it on its
// own thread), so a log written by the job and by the dialog at once stays readable.
class UpgradeLog {
public:
    virtual ~UpgradeLog() = default;
    // log := text, then show the log.
    virtual void replaceLog(const std::string& text) = 0;
    // log += text, then show the log.
    virtual void appendLog(const std::string& text) = 0;
    // Show log + tail without storing it; answers exactly what is shown.
    virtual std::string showWithLog(const std::string& tail) = 0;
    // Structured progress beside the progress line, for front ends that draw their own.
    virtual void progress(const UpgradeProgress& /*progress*/) {}
};

struct UpgradeJobContext {
    SerialLink& port;
    ReplyFlags& flags;
    Clock& clock;
    UpgradeInputs& inputs;
    UpgradeLog& log;
    const std::atomic<std::uint8_t>& target = upgradeTarget;
    // Set by the job's owner to give the upgrade up: the job sends the AbortFrame and fails.
    const std::atomic<bool>* cancelRequested = nullptr;
};

// Runs one upgrade to its end on the calling thread. Answers 0 on success, -1 otherwise.
int runUpgradeJob(const UpgradeJobContext& context);

} // namespace orvane
