// One upgrade job from image file to the camera's last acceptance. The camera's boot loader
// needs its frames in this order, with these pauses, and answers within these time limits;
// each flag is cleared before the frame whose answer it awaits, so that an old reply is never
// taken for the new one. Keep all of it.
#include "upgrade/upgrade_job.h"

#include "imagetools/readable_file.h"
#include "serial/port_name.h"
#include "serial/port_open_failure.h"
#include "text/failure_messages.h"
#include "text/string_table.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

unsigned progressPercent(std::uint32_t offset, std::uint32_t length) {
    // The division is in single precision on purpose: the percentages technicians know
    // (and compare with older logs) come from exactly this arithmetic.
    const float quotient = static_cast<float>(offset) / static_cast<float>(length);
    return static_cast<unsigned>(static_cast<double>(quotient) * 100.0);
}

std::string progressText(unsigned percent, TextLanguage language) {
    return std::string(textOf(IDS_PROGRESS, language)) + std::to_string(percent) + "%\r\n";
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
constexpr milliseconds endLimit = replyPause * endPauses;
constexpr milliseconds afterEnterAckPause{500};
// In low-latency waits: how often the owner's cancel and a vanished device are looked at
// when no reply wakes the job (the polling waits look before every pause).
constexpr milliseconds livenessSlice{100};
// The adapter's own hold-back above which the technician is told how to lower it.
constexpr int adapterLatencyHintAboveMs = 1;
constexpr milliseconds beforeSuccessPause{1000};

// The kernel's name of the device behind a port name (a by-id link resolved): ttyUSB0.
std::string deviceNameOf(const std::string& portName) {
    std::error_code ignored;
    const std::filesystem::path path(devicePathOf(portName));
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
    return (resolved.empty() ? path : resolved).filename().string();
}

enum class WaitEnd { Met, TimedOut, DeviceAborted, Cancelled, DeviceGone };

class Job {
  public:
    explicit Job(const UpgradeJobContext& context)
        : port_(context.port), flags_(context.flags), clock_(context.clock), inputs_(context.inputs),
          log_(context.log), settings_(context.settings), cancel_(context.cancelRequested) {}

    UpgradeOutcome run();
    // The job's way out of an error it did not expect (memory, a front end that threw).
    UpgradeOutcome endOnError(const char* what);

  private:
    std::string text(int id) const { return std::string(textOf(id, settings_.language)); }
    std::string line(int id) const { return text(id) + "\r\n"; }
    std::string filled(int id, std::initializer_list<std::string_view> args) const {
        return fillText(textOf(id, settings_.language), args);
    }

    bool cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }
    bool gone() const { return port_.deviceGone(); }

    // A wait for a reply in the job's mode; the limit is pause times maxPauses either way.
    template <typename Condition>
    WaitEnd waitFor(Condition met, milliseconds pause, int maxPauses, bool testedFirst) {
        if (settings_.lowLatency) {
            return waitPrompt(met, pause * maxPauses, false);
        }
        return pollFor(met, pause, maxPauses, testedFirst);
    }

    // Tests first (if asked), then pause-and-test until the condition holds or maxPauses
    // pauses are used up. The owner's cancel and a vanished device are looked at before
    // every pause, so neither waits out the limit.
    template <typename Condition>
    WaitEnd pollFor(Condition met, milliseconds pause, int maxPauses, bool testedFirst) {
        if (testedFirst && met()) {
            return WaitEnd::Met;
        }
        for (int pauses = 0; pauses < maxPauses; ++pauses) {
            if (cancelled()) {
                return WaitEnd::Cancelled;
            }
            if (gone()) {
                return WaitEnd::DeviceGone;
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
        if (settings_.lowLatency) {
            return waitPrompt([&] { return (answer = load(flags_.blockReply)) != 0; },
                              blockPause * blockPauses, true);
        }
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
            if (gone()) {
                return WaitEnd::DeviceGone;
            }
            clock_.sleepFor(blockPause);
            answer = load(flags_.blockReply);
            if (answer != 0) {
                return WaitEnd::Met;
            }
        }
    }

    // The low-latency wait: tests the reply, then sleeps until the receiver's signal (or the
    // owner's cancel) wakes it. The tests keep the polling waits' order: the reply first (one
    // that came with an abort wins, as within one pause), then the limit, the camera's abort
    // (block answers only), the owner's cancel and a vanished device.
    template <typename Condition> WaitEnd waitPrompt(Condition met, milliseconds limit, bool watchAbort) {
        const auto end = clock_.now() + limit;
        const auto aborted = [&] { return watchAbort && load(flags_.deviceAborted) == 1; };
        const std::function<bool()> woken = [&] { return met() || aborted() || cancelled(); };
        for (;;) {
            if (met()) {
                return WaitEnd::Met;
            }
            const auto now = clock_.now();
            if (now >= end) {
                return WaitEnd::TimedOut;
            }
            if (aborted()) {
                return WaitEnd::DeviceAborted;
            }
            if (cancelled()) {
                return WaitEnd::Cancelled;
            }
            if (gone()) {
                return WaitEnd::DeviceGone;
            }
            const auto left = std::chrono::ceil<milliseconds>(end - now);
            clock_.waitAtMost(woken, std::min(left, livenessSlice), flags_.raised);
        }
    }

    // Once a job, after an open in low-latency mode: an adapter that still holds replies back.
    void adviseOnAdapter() {
        if (!settings_.lowLatency || advised_) {
            return;
        }
        const std::optional<int> latency = port_.adapterLatencyMs();
        if (latency && *latency > adapterLatencyHintAboveMs) {
            advised_ = true;
            log_.advice(filled(IDS_ADAPTER_LATENCY_HINT,
                               {portName_, std::to_string(*latency), deviceNameOf(portName_)}));
        }
    }

    template <std::size_t N> void write(const std::array<std::uint8_t, N>& frame) {
        port_.writePort(std::span<const std::uint8_t>(frame));
    }
    // The camera is told the upgrade is off, unless the line is dead.
    void sendAbort() {
        if (!gone()) {
            write(abortFrame);
        }
    }

    void at(UpgradeStep step) { outcome_.step = step; }
    void because(UpgradeEnding ending, UpgradeReason reason, std::string reasonText) {
        outcome_.ending = ending;
        outcome_.reason = reason;
        outcome_.reasonText = std::move(reasonText);
        outcome_.result = -1;
    }

    // Ends before the camera was addressed, or where nothing more can be sent: the reason
    // is the whole report.
    UpgradeOutcome unusable(UpgradeReason reason, std::string reasonText) {
        log_.reason(reasonText);
        because(UpgradeEnding::Unusable, reason, std::move(reasonText));
        return outcome_;
    }
    UpgradeOutcome closeFailed() {
        return unusable(UpgradeReason::PortUnusable, portCloseFailed(port_.lastError(), settings_.language));
    }
    UpgradeOutcome openFailed(const std::string& name) {
        return unusable(UpgradeReason::PortUnusable,
                        openFailureMessage(name, port_.lastError(), settings_.language));
    }
    // Close, then open at speed; an outcome when that failed.
    std::optional<UpgradeOutcome> reopen(const std::string& name, int speed) {
        if (port_.closePort() == 0) {
            return closeFailed();
        }
        if (port_.openPort(name, speed, parityNone, byteSize, oneStopBit) == 0) {
            return openFailed(name);
        }
        return std::nullopt;
    }

    // Why a wait that did not end well ended; timedOut names the camera's silence at this step.
    void explain(WaitEnd why, UpgradeReason timedOut, std::string silence) {
        switch (why) {
        case WaitEnd::Cancelled:
            because(UpgradeEnding::Cancelled, UpgradeReason::Cancelled, text(IDS_JOB_CANCELLED));
            return;
        case WaitEnd::DeviceGone:
            because(UpgradeEnding::Unusable, UpgradeReason::DeviceGone,
                    filled(IDS_REASON_DEVICE_GONE, {portName_}));
            return;
        case WaitEnd::DeviceAborted:
            because(UpgradeEnding::Failed, UpgradeReason::CameraAborted,
                    blockReason(IDS_REASON_CAMERA_ABORTED));
            return;
        case WaitEnd::Met:
        case WaitEnd::TimedOut:
            break;
        }
        because(UpgradeEnding::Failed, timedOut, std::move(silence));
    }
    std::string blockReason(int id) const {
        return filled(id, {std::to_string(outcome_.block), std::to_string(outcome_.blockCount)});
    }

    // The three ways an upgrade the camera has heard of ends: each tells the camera (the
    // AbortFrame), says why in one line and then "Update was failed !".
    //
    // No EnterAck, HeaderRequest or header acceptance in time: the log gains the two lines.
    UpgradeOutcome failAwaitingReply() {
        sendAbort();
        log_.reason(outcome_.reasonText);
        log_.appendLog(line(IDS_UPDATE_FAIL));
        return outcome_;
    }
    // A block unanswered, refused too often, the camera's abort or an answer the job does not
    // know: the last progress line stays in the log above the two lines.
    UpgradeOutcome failDuringTransfer(const std::string& progressLine) {
        sendAbort();
        log_.replaceLog(progressLine);
        log_.reason(outcome_.reasonText);
        log_.appendLog(line(IDS_UPDATE_FAIL));
        return outcome_;
    }
    // The EndFrame unaccepted: the log as it stood before the blocks, progress line dropped.
    UpgradeOutcome failAtEndFrame() { return failAwaitingReply(); }

    SerialLink& port_;
    ReplyFlags& flags_;
    Clock& clock_;
    UpgradeInputs& inputs_;
    UpgradeLog& log_;
    const UpgradeSettings settings_;
    const std::atomic<bool>* cancel_;

    UpgradeOutcome outcome_;
    std::string portName_;
    bool addressed_ = false; // the EnterUpgradeCommand has gone out
    bool advised_ = false;   // the adapter hint has been given
};

UpgradeOutcome Job::run() {
    at(UpgradeStep::Image);
    const std::string path = inputs_.imagePath();
    if (path.empty()) {
        log_.appendLog(line(IDS_PLEASE_SELECT_FILE));
        because(UpgradeEnding::Unusable, UpgradeReason::NoFileChosen, text(IDS_PLEASE_SELECT_FILE));
        return outcome_;
    }
    // Held open until the job ends, so the file cannot be replaced under a running upgrade on
    // systems that lock open files.
    FileStatus status;
    std::optional<ReadableFile> file = ReadableFile::open(path, status);
    if (!file) {
        return unusable(UpgradeReason::ImageUnreadable, filled(IDS_IMAGE_UNREADABLE, {path, status.reason}));
    }
    if (file->size() > maxImageLength) {
        return unusable(UpgradeReason::ImageUnreadable,
                        filled(IDS_IMAGE_TOO_LARGE, {path, std::to_string(file->size())}));
    }
    std::vector<std::uint8_t> image;
    try {
        image.resize(static_cast<std::size_t>(file->size()));
    } catch (const std::bad_alloc&) {
        return unusable(UpgradeReason::ImageUnreadable,
                        filled(IDS_REASON_IMAGE_NO_MEMORY, {path, std::to_string(file->size())}));
    }
    // A file still being copied is refused, never sent as a shorter image.
    if (status = file->readAll(image); !status.ok) {
        return unusable(UpgradeReason::ImageUnreadable, filled(IDS_IMAGE_UNREADABLE, {path, status.reason}));
    }
    const std::span<const std::uint8_t> bytes(image);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    outcome_.blockCount = static_cast<std::uint32_t>((bytes.size() + blockDataSize - 1) / blockDataSize);

    at(UpgradeStep::Port);
    port_.setReadMode(settings_.lowLatency ? ReadMode::LowLatency : ReadMode::Standard);
    if (port_.closePort() == 0) {
        return closeFailed();
    }
    portName_ = inputs_.portName();
    const int lineSpeed = inputs_.lineSpeed();
    if (port_.openPort(portName_, lineSpeed, parityNone, byteSize, oneStopBit) == 0) {
        return openFailed(portName_);
    }

    at(UpgradeStep::Enter);
    const int address = inputs_.address() & 0xFF;
    const EnterUpgradeCommand enter =
        makeEnterUpgradeCommand(static_cast<std::uint8_t>(address), settings_.target);
    store(flags_.enterAcknowledged, 0);
    write(enter);
    addressed_ = true;
    if (gone()) {
        explain(WaitEnd::DeviceGone, UpgradeReason::None, {});
        return failAwaitingReply();
    }

    portName_ = inputs_.portName();
    const int upgradeSpeed = inputs_.upgradeSpeed();
    if (upgradeSpeed != lineSpeed) {
        // An owner that gave up while the job asked for these inputs (a dialog being closed)
        // may no longer have answered them: no reopen on them. The camera has heard the
        // EnterUpgradeCommand, so it is told.
        if (cancelled()) {
            explain(WaitEnd::Cancelled, UpgradeReason::None, {});
            return failAwaitingReply();
        }
        if (auto failed = reopen(portName_, upgradeSpeed)) {
            return *failed;
        }
    }

    log_.replaceLog(line(IDS_START));
    adviseOnAdapter();

    WaitEnd end =
        waitFor([this] { return load(flags_.enterAcknowledged) != 0; }, replyPause, replyPauses, true);
    if (end != WaitEnd::Met) {
        explain(end, UpgradeReason::NoEnterAck,
                filled(IDS_REASON_NO_ENTER_ACK, {std::to_string(address), std::to_string(lineSpeed)}));
        return failAwaitingReply();
    }

    store(flags_.enterAcknowledged, 0);
    if (cancelled()) {
        explain(WaitEnd::Cancelled, UpgradeReason::None, {});
        return failAwaitingReply();
    }
    clock_.sleepFor(afterEnterAckPause);
    log_.appendLog(line(IDS_SEND_COMMAND_OK));

    at(UpgradeStep::Start);
    const ShortFrame start = makeStartCommand(settings_.target);
    store(flags_.headerRequested, 0);
    write(start);

    // The Special target's loader talks at 115200 from its StartCommand on.
    const bool special = settings_.target == UpgradeTarget::Special;
    if (special) {
        if (auto failed = reopen(portName_, specialSpeed)) {
            return *failed;
        }
    }

    end = waitFor([this] { return load(flags_.headerRequested) == 1; }, replyPause, replyPauses, true);
    if (end != WaitEnd::Met) {
        explain(
            end, UpgradeReason::NoHeaderRequest,
            filled(IDS_REASON_NO_HEADER_REQUEST, {std::to_string(special ? specialSpeed : upgradeSpeed)}));
        return failAwaitingReply();
    }

    at(UpgradeStep::Header);
    const SizeHeader header = makeSizeHeader(length);
    store(flags_.headerRequested, 0);
    store(flags_.blockReply, 0);
    write(header);

    // A BlockNak does not answer the SizeHeader: only an acceptance ends this wait well. Seen
    // at the end, it tells the technician the camera refused the size rather than fell silent.
    end = waitFor([this] { return load(flags_.blockReply) == blockAccepted; }, replyPause, replyPauses, true);
    if (end != WaitEnd::Met) {
        const bool refused = load(flags_.blockReply) == blockResend;
        explain(
            end, refused ? UpgradeReason::SizeRefused : UpgradeReason::SizeUnanswered,
            filled(refused ? IDS_REASON_SIZE_REFUSED : IDS_REASON_SIZE_UNANSWERED, {std::to_string(length)}));
        return failAwaitingReply();
    }

    // An abort the camera sent before the blocks is not held against them.
    store(flags_.blockReply, 0);
    store(flags_.deviceAborted, 0);
    at(UpgradeStep::Block);
    std::uint32_t blockNumber = 1;
    std::uint32_t offset = 0;
    std::uint32_t refusals = 0; // BlockNaks of the block being sent
    std::string progressLine;
    while (offset < length) {
        outcome_.block = blockNumber;
        const DataBlock block = makeDataBlock(bytes, offset, blockNumber);
        write(block);

        const unsigned percent = progressPercent(offset, length);
        progressLine = log_.showWithLog(progressText(percent, settings_.language));
        log_.progress(UpgradeProgress{percent, offset, length, blockNumber, outcome_.blockCount,
                                      refusals != 0, refusals});

        std::uint8_t answer = 0;
        end = waitBlockAnswer(answer);
        if (end != WaitEnd::Met) {
            explain(end, UpgradeReason::BlockUnanswered, blockReason(IDS_REASON_BLOCK_UNANSWERED));
            return failDuringTransfer(progressLine);
        }
        if (answer == blockAccepted) {
            ++blockNumber;
            offset += blockDataSize;
            refusals = 0;
        } else if (answer == blockResend) {
            // The same block again: same number, same bytes, same percentage.
            ++refusals;
            ++outcome_.resends;
            if (settings_.maxResends != 0 && refusals >= settings_.maxResends) {
                because(UpgradeEnding::Failed, UpgradeReason::TooManyResends,
                        filled(IDS_REASON_TOO_MANY_RESENDS,
                               {std::to_string(blockNumber), std::to_string(outcome_.blockCount),
                                std::to_string(refusals)}));
                return failDuringTransfer(progressLine);
            }
        } else {
            because(UpgradeEnding::Failed, UpgradeReason::BlockAnswerUnknown,
                    blockReason(IDS_REASON_BLOCK_ANSWER_UNKNOWN));
            return failDuringTransfer(progressLine);
        }
        store(flags_.blockReply, 0);
    }

    at(UpgradeStep::EndFrame);
    outcome_.block = 0;
    // blockReply is clear since the last block's answer was taken. It is not cleared again
    // after the write: a camera quick enough to accept before that clear would have its
    // acceptance erased, and a finished upgrade reported as failed.
    write(endFrame);
    end = settings_.lowLatency
              ? waitPrompt([this] { return load(flags_.blockReply) == blockAccepted; }, endLimit, false)
              : pollFor([this] { return load(flags_.blockReply) == blockAccepted; }, replyPause, endPauses,
                        false);
    if (end != WaitEnd::Met) {
        explain(end, UpgradeReason::EndNotAccepted, text(IDS_REASON_END_NOT_ACCEPTED));
        return failAtEndFrame();
    }

    // The camera holds the whole image now; a cancel request this late changes nothing.
    progressLine = log_.showWithLog(progressText(100, settings_.language));
    log_.progress(UpgradeProgress{100, length, length, outcome_.blockCount, outcome_.blockCount, false, 0});
    clock_.sleepFor(beforeSuccessPause);
    log_.replaceLog(progressLine + line(IDS_UPDATE_OK));
    at(UpgradeStep::Done);
    outcome_.result = 0;
    outcome_.ending = UpgradeEnding::Succeeded;
    outcome_.reason = UpgradeReason::None;
    return outcome_;
}

UpgradeOutcome Job::endOnError(const char* what) {
    because(addressed_ ? UpgradeEnding::Failed : UpgradeEnding::Unusable, UpgradeReason::InternalError,
            filled(IDS_REASON_INTERNAL, {what}));
    // Telling the camera comes first: the log may fail the same way.
    try {
        if (addressed_) {
            sendAbort();
        }
        log_.reason(outcome_.reasonText);
        if (addressed_) {
            log_.appendLog(line(IDS_UPDATE_FAIL));
        }
    } catch (...) {
    }
    return outcome_;
}

UpgradeOutcome runGuarded(Job& job) {
    try {
        return job.run();
    } catch (const std::exception& e) {
        return job.endOnError(e.what());
    } catch (...) {
        return job.endOnError("unknown error");
    }
}

} // namespace

UpgradeOutcome runUpgradeJob(const UpgradeJobContext& context, JobSlot slot) {
    const JobSlot held = std::move(slot);
    Job job(context);
    const UpgradeOutcome outcome = runGuarded(job);
    // The mode is the job's: after it the port's reads end 100 ms after the last byte again.
    context.port.setReadMode(ReadMode::Standard);
    return outcome;
}

UpgradeOutcome runUpgradeJob(const UpgradeJobContext& context) {
    auto slot = JobSlot::tryTake(context.port);
    if (!slot) {
        const std::string busy(textOf(IDS_JOB_BUSY, context.settings.language));
        context.log.appendLog(busy + "\r\n");
        UpgradeOutcome refused;
        refused.reason = UpgradeReason::PortUnusable;
        refused.reasonText = busy;
        return refused;
    }
    return runUpgradeJob(context, std::move(*slot));
}

} // namespace orvane
