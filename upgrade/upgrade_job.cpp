// One upgrade job from image file to the camera's last acceptance. The order of the steps,
// the clearing of each flag before the frame whose answer it awaits, the pauses and the time
// limits are what the camera's boot loader has always been driven with; keep them.
#include "upgrade/upgrade_job.h"

#include <cerrno>
#include <chrono>
#include <span>
#include <variant>

#include "serial/open_failure.h"
#include "text/string_table.h"
#include "upgrade/image_file.h"

namespace orvane {

std::atomic<std::uint8_t> upgradeTarget{static_cast<std::uint8_t>(UpgradeTarget::MainBoard)};

unsigned progressPercent(std::uint32_t offset, std::uint32_t length) {
    // The division is in single precision on purpose: the percentages technicians know
    // (and compare with older logs) come from exactly this arithmetic.
    const float quotient = static_cast<float>(offset) / static_cast<float>(length);
    return static_cast<unsigned>(static_cast<double>(quotient) * 100.0);
}

std::string progressText(unsigned percent) {
    return std::string(loadText(IDS_PROGRESS)) + std::to_string(percent) + "%\r\n";
}

namespace {

using std::chrono::milliseconds;

constexpr int byteSize = 8;
constexpr int specialSpeed = 115200;
constexpr milliseconds replyPause{100};
constexpr int replyPauses = 100; // 10 s
constexpr milliseconds blockPause{5};
constexpr int blockPauses = 2000; // 10 s
constexpr int endPauses = 50;     // 5 s
constexpr milliseconds afterEnterAckPause{500};
constexpr milliseconds beforeSuccessPause{1000};

std::string line(int id) {
    return std::string(loadText(id)) + "\r\n";
}

enum class WaitEnd { Met, TimedOut, DeviceAborted, Cancelled };

class Job {
public:
    explicit Job(const UpgradeJobContext& context)
        : port_(context.port), flags_(context.flags), clock_(context.clock), inputs_(context.inputs),
          log_(context.log), target_(context.target), cancel_(context.cancelRequested) {}

    int run();

private:
    UpgradeTarget target() const { return static_cast<UpgradeTarget>(target_.load(std::memory_order_relaxed)); }
    bool cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

    // Tests first (if asked), then pause-and-test until the condition holds or maxPauses
    // pauses are used up. The owner's cancel request is looked at before every pause.
    template <typename Condition>
    WaitEnd waitFor(Condition met, milliseconds pause, int maxPauses, bool testedFirst) {
        if (testedFirst && met()) {
            return WaitEnd::Met;
        }
        for (int pauses = 0; pauses < maxPauses; ++pauses) {
            if (cancelled()) {
                return WaitEnd::Cancelled;
            }
            clock_.sleepFor(pause);
            if (met()) {
                return WaitEnd::Met;
            }
        }
        return WaitEnd::TimedOut;
    }

    // The wait for a block's answer, which alone also heeds the camera's AbortFrame. Each
    // pass: pause count, then deviceAborted, then pause, then the answer; an answer present
    // before the first pause wins over an abort.
    WaitEnd waitBlockAnswer(std::uint8_t& answer) {
        answer = load(flags_.blockReply);
        if (answer != 0) {
            return WaitEnd::Met;
        }
        for (int pauses = 0;; ++pauses) {
            if (pauses == blockPauses) {
                return WaitEnd::TimedOut;
            }
            if (load(flags_.deviceAborted) == 1) {
                return WaitEnd::DeviceAborted;
            }
            if (cancelled()) {
                return WaitEnd::Cancelled;
            }
            clock_.sleepFor(blockPause);
            answer = load(flags_.blockReply);
            if (answer != 0) {
                return WaitEnd::Met;
            }
        }
    }

    template <std::size_t N> void write(const std::array<std::uint8_t, N>& frame) {
        port_.writePort(std::span<const std::uint8_t>(frame));
    }

    // Where the job has always ended without a word, it now says what failed and why.
    int failWith(const std::string& message) {
        log_.appendLog(message + "\r\n");
        return -1;
    }
    int closeFailed() { return failWith(fillText(loadText(IDS_PORT_CLOSE_FAILED), {reasonOf(port_.lastError())})); }
    int openFailed(const std::string& name) {
        const int error = port_.lastError();
        if (error == EACCES || error == EPERM) {
            return failWith(fillText(loadText(IDS_PORT_PERMISSION), {name}));
        }
        return failWith(fillText(loadText(IDS_PORT_OPEN_FAILED), {name, openFailureReason(error)}));
    }
    // Close, then open at speed; answers -1 after logging a failure, 0 when the port is open.
    int reopen(const std::string& name, int speed) {
        if (port_.closePort() == 0) {
            return closeFailed();
        }
        if (port_.openPort(name, speed, parityNone, byteSize, oneStopBit) == 0) {
            return openFailed(name);
        }
        return 0;
    }

    static std::string cancelNote(WaitEnd why) { return why == WaitEnd::Cancelled ? line(IDS_JOB_CANCELLED) : ""; }

    // No EnterAck, HeaderRequest or header acceptance in time.
    int endingF(WaitEnd why) {
        write(abortFrame);
        log_.appendLog(cancelNote(why) + line(IDS_UPDATE_FAIL));
        return -1;
    }
    // A block unanswered, the camera's abort or an answer the job does not know: the last
    // progress line stays in the log.
    int endingG(WaitEnd why, const std::string& progressLine) {
        write(abortFrame);
        log_.replaceLog(progressLine + cancelNote(why) + line(IDS_UPDATE_FAIL));
        return -1;
    }
    // The EndFrame unaccepted: the log as it stood before the blocks, progress line dropped.
    int endingH(WaitEnd why) {
        write(abortFrame);
        log_.appendLog(cancelNote(why) + line(IDS_UPDATE_FAIL));
        return -1;
    }

    SerialLink& port_;
    ReplyFlags& flags_;
    Clock& clock_;
    UpgradeInputs& inputs_;
    UpgradeLog& log_;
    const std::atomic<std::uint8_t>& target_;
    const std::atomic<bool>* cancel_;
};

int Job::run() {
    const std::string path = inputs_.imagePath();
    if (path.empty()) {
        SetTextLanguage(languageFlag.load(std::memory_order_relaxed));
        log_.appendLog(line(IDS_PLEASE_SELECT_FILE));
        return -1;
    }
    auto loaded = loadImage(path, maxImageLength);
    if (const auto* failure = std::get_if<ImageLoadFailure>(&loaded)) {
        return failWith(failure->message);
    }
    // Released, and the file closed, when the job ends, whichever way.
    const LoadedImage image = std::move(std::get<LoadedImage>(loaded));
    const std::span<const std::uint8_t> bytes(image.bytes);
    const auto length = static_cast<std::uint32_t>(bytes.size());

    if (port_.closePort() == 0) {
        return closeFailed();
    }
    std::string portName = inputs_.portName();
    const int lineSpeed = inputs_.lineSpeed();
    if (port_.openPort(portName, lineSpeed, parityNone, byteSize, oneStopBit) == 0) {
        return openFailed(portName);
    }

    const auto address = static_cast<std::uint8_t>(inputs_.address() & 0xFF);
    const EnterUpgradeCommand enter = makeEnterUpgradeCommand(address, target());
    store(flags_.enterAcknowledged, 0);
    write(enter);

    portName = inputs_.portName();
    const int upgradeSpeed = inputs_.upgradeSpeed();
    if (upgradeSpeed != lineSpeed) {
        // An owner that gave up while the job asked for these inputs (a dialog being closed)
        // may no longer have answered them: no reopen on them. The camera has heard the
        // EnterUpgradeCommand, so it is told.
        if (cancelled()) {
            return endingF(WaitEnd::Cancelled);
        }
        if (reopen(portName, upgradeSpeed) != 0) {
            return -1;
        }
    }

    log_.replaceLog(line(IDS_START));

    WaitEnd end = waitFor([this] { return load(flags_.enterAcknowledged) != 0; }, replyPause, replyPauses, true);
    if (end != WaitEnd::Met) {
        return endingF(end);
    }

    store(flags_.enterAcknowledged, 0);
    if (cancelled()) {
        return endingF(WaitEnd::Cancelled);
    }
    clock_.sleepFor(afterEnterAckPause);
    log_.appendLog(line(IDS_SEND_COMMAND_OK));

    const ShortFrame start = makeStartCommand(target());
    store(flags_.headerRequested, 0);
    write(start);

    // The Special target's loader talks at 115200 from its StartCommand on.
    if (target() == UpgradeTarget::Special && reopen(portName, specialSpeed) != 0) {
        return -1;
    }

    end = waitFor([this] { return load(flags_.headerRequested) == 1; }, replyPause, replyPauses, true);
    if (end != WaitEnd::Met) {
        return endingF(end);
    }

    const SizeHeader header = makeSizeHeader(length);
    store(flags_.headerRequested, 0);
    store(flags_.blockReply, 0);
    write(header);

    // A BlockNak does not answer the SizeHeader: only an acceptance ends this wait well.
    end = waitFor([this] { return load(flags_.blockReply) == blockAccepted; }, replyPause, replyPauses, true);
    if (end != WaitEnd::Met) {
        return endingF(end);
    }

    // An abort the camera sent before the blocks is not held against them.
    store(flags_.blockReply, 0);
    store(flags_.deviceAborted, 0);
    std::uint32_t blockNumber = 1;
    std::uint32_t offset = 0;
    const auto blockCount = static_cast<std::uint32_t>((bytes.size() + blockDataSize - 1) / blockDataSize);
    std::string progressLine;
    bool resend = false;
    while (offset < length) {
        const DataBlock block = makeDataBlock(bytes, offset, blockNumber);
        write(block);

        const unsigned percent = progressPercent(offset, length);
        progressLine = log_.showWithLog(progressText(percent));
        log_.progress(UpgradeProgress{percent, offset, length, blockNumber, blockCount, resend});

        std::uint8_t answer = 0;
        end = waitBlockAnswer(answer);
        if (end != WaitEnd::Met) {
            return endingG(end, progressLine);
        }
        if (answer == blockAccepted) {
            ++blockNumber;
            offset += blockDataSize;
            resend = false;
        } else if (answer == blockResend) {
            // The same block again: same number, same bytes, same percentage.
            resend = true;
        } else {
            return endingG(WaitEnd::TimedOut, progressLine);
        }
        store(flags_.blockReply, 0);
    }

    write(endFrame);
    store(flags_.blockReply, 0);
    end = waitFor([this] { return load(flags_.blockReply) == blockAccepted; }, replyPause, endPauses, false);
    if (end != WaitEnd::Met) {
        return endingH(end);
    }

    // The camera holds the whole image now; a cancel request this late changes nothing.
    progressLine = log_.showWithLog(progressText(100));
    log_.progress(UpgradeProgress{100, length, length, blockCount, blockCount, false});
    clock_.sleepFor(beforeSuccessPause);
    log_.replaceLog(progressLine + line(IDS_UPDATE_OK));
    return 0;
}

} // namespace

int runUpgradeJob(const UpgradeJobContext& context, JobSlot slot) {
    const JobSlot held = std::move(slot);
    SetTextLanguage(languageFlag.load(std::memory_order_relaxed));
    return Job(context).run();
}

int runUpgradeJob(const UpgradeJobContext& context) {
    SetTextLanguage(languageFlag.load(std::memory_order_relaxed));
    auto slot = JobSlot::tryTake();
    if (!slot) {
        context.log.appendLog(line(IDS_JOB_BUSY));
        return -1;
    }
    return runUpgradeJob(context, std::move(*slot));
}

} // namespace orvane
