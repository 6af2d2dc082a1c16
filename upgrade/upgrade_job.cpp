// One upgrade job from image file to the camera's last acceptance. The camera's boot loader
// needs its frames in this order, with these pauses, and answers within these time limits;
// each flag is cleared before the frame whose answer it awaits, so that an old reply is never
// taken for the new one. Keep all of it.
#include "upgrade/upgrade_job.h"

#include "serial/port_name.h"
#include "serial/port_open_failure.h"
#include "text/failure_messages.h"
#include "text/string_table.h"
#include "upgrade/reply_wait.h"

#include <array>
#include <chrono>
#include <exception>
#include <functional>
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
using namespace std::chrono_literals;

constexpr int byteSize = 8;
constexpr int specialSpeed = 115200;
// The waits for the camera's replies: ten seconds each, five for the EndFrame's acceptance.
constexpr ReplyWait enterAckWait{.pause = 100ms, .pauses = 100, .testedFirst = true};
constexpr ReplyWait headerRequestWait{.pause = 100ms, .pauses = 100, .testedFirst = true};
// A BlockNak does not answer the SizeHeader: only an acceptance ends this wait well.
constexpr ReplyWait headerAcceptWait{.pause = 100ms, .pauses = 100, .testedFirst = true};
// The only wait in which the camera's AbortFrame counts.
constexpr ReplyWait blockAnswerWait{.pause = 5ms, .pauses = 2000, .testedFirst = true, .watchesAbort = true};
// The EndFrame's acceptance is first looked for after a pause.
constexpr ReplyWait endAcceptWait{.pause = 100ms, .pauses = 50, .testedFirst = false};
constexpr milliseconds afterEnterAckPause{500};
constexpr milliseconds beforeSuccessPause{1000};
// The adapter's own hold-back above which the technician is told how to lower it.
constexpr int adapterLatencyHintAboveMs = 1;

// What a step answers: the job's ending, or nothing to go on with the next step.
using StepEnd = std::optional<UpgradeOutcome>;
constexpr std::nullopt_t goOn = std::nullopt;

// Where the block loop stands.
struct BlockCursor {
    std::uint32_t number = 1;   // 1-based; only the low 16 bits travel
    std::uint32_t offset = 0;   // the block's first byte in the image
    std::uint32_t refusals = 0; // BlockNaks this block has had so far
};

class Job {
  public:
    explicit Job(const UpgradeJobContext& context)
        : port_(context.port), flags_(context.flags), clock_(context.clock), inputs_(context.inputs),
          log_(context.log), settings_(context.settings), imageObserver_(context.imageObserver),
          replies_(context.flags, context.clock, context.port, context.cancelRequested,
                   context.settings.lowLatency) {}

    UpgradeOutcome run();
    // The job's way out of an error it did not expect (memory, a front end that threw).
    UpgradeOutcome endOnError(const char* what);

  private:
    // The steps, in their order.
    StepEnd loadImage();
    StepEnd imageRead(); // the image is in image_: its block count, and the observer told
    StepEnd openAtLineSpeed();
    StepEnd sendEnterUpgradeCommand();
    StepEnd switchToUpgradeSpeed();
    StepEnd awaitEnterAck();
    StepEnd sendStartCommand();
    StepEnd sendSizeHeader();
    StepEnd sendDataBlocks();
    StepEnd sendEndFrame();
    UpgradeOutcome succeed();

    // One DataBlock out and its answer in; then what the answer means for the loop.
    StepEnd sendDataBlock(const BlockCursor& cursor, std::uint8_t& answer);
    StepEnd takeBlockAnswer(std::uint8_t answer, BlockCursor& cursor);

    std::string text(int id) const { return std::string(textOf(id, settings_.language)); }
    std::string line(int id) const { return text(id) + "\r\n"; }
    std::string filled(int id, std::initializer_list<std::string_view> args) const {
        return fillText(textOf(id, settings_.language), args);
    }
    std::span<const std::uint8_t> image() const { return image_; }
    std::uint32_t length() const { return static_cast<std::uint32_t>(image_.size()); }

    // An input read at its step; one its owner refused gives the job up.
    template <typename T> StepEnd read(std::optional<T> (UpgradeInputs::*input)(), T& into) {
        std::optional<T> value = (inputs_.*input)();
        if (!value) {
            return giveUp();
        }
        into = std::move(*value);
        return goOn;
    }

    bool cancelled() const { return replies_.cancelled(); }
    bool gone() const { return port_.deviceGone(); }
    WaitEnd waitFor(const std::function<bool()>& met, const ReplyWait& wait) {
        return replies_.waitFor(met, wait);
    }

    // Once a job, after an open in low-latency mode: an adapter that still holds replies back.
    void adviseOnAdapter();

    template <std::size_t N> void write(const std::array<std::uint8_t, N>& frame) {
        port_.writePort(std::span<const std::uint8_t>(frame));
    }
    // Every frame but the AbortFrame: an owner who has given up is heard before it goes out.
    template <std::size_t N> StepEnd send(const std::array<std::uint8_t, N>& frame) {
        if (StepEnd end = unlessCancelled()) {
            return end;
        }
        write(frame);
        return goOn;
    }
    // The camera is told the upgrade is off, unless the line is dead.
    void sendAbort() {
        if (!gone()) {
            write(abortFrame);
        }
    }

    void at(UpgradeStep step) {
        outcome_.step = step;
        toldReached();
    }
    void toldReached() const {
        if (imageObserver_ != nullptr) {
            imageObserver_->reached(outcome_.step, outcome_.block, outcome_.blockCount);
        }
    }
    void because(UpgradeEnding ending, UpgradeReason reason, std::string reasonText);
    // Why a wait that did not end well ended; timedOut names the camera's silence at this step.
    void explain(WaitEnd why, UpgradeReason timedOut, std::string silence);
    std::string blockReason(int id) const {
        return filled(id, {std::to_string(outcome_.block), std::to_string(outcome_.blockCount)});
    }

    // Close, then open at speed under the port name read last; an ending when that failed.
    StepEnd reopen(int speed);
    StepEnd openAt(int speed);

    // Ends before the camera was addressed, or where nothing more can be sent: the reason
    // is the whole report.
    UpgradeOutcome unusable(UpgradeReason reason, std::string reasonText);
    UpgradeOutcome closeFailed() {
        return unusable(UpgradeReason::PortUnusable, portCloseFailed(port_.lastError(), settings_.language));
    }
    UpgradeOutcome openFailed() {
        return unusable(UpgradeReason::PortUnusable,
                        openFailureMessage(portName_, port_.lastError(), settings_.language));
    }
    // Looked at before every frame and after the pause that follows the EnterAck (the pause
    // before the success lines comes once the camera holds the whole image).
    StepEnd unlessCancelled() {
        if (cancelled()) {
            return giveUp();
        }
        return goOn;
    }
    // The owner gave the job up: the camera, once addressed, is told, and the log ends as it
    // would for a failure at this step.
    UpgradeOutcome giveUp();

    // The three ways an upgrade the camera has heard of ends: each tells the camera (the
    // AbortFrame), says why in one line and then "Update was failed !".
    //
    // No EnterAck, HeaderRequest or header acceptance in time: the log gains the two lines.
    UpgradeOutcome failAwaitingReply();
    // A block unanswered, refused too often, the camera's abort or an answer the job does not
    // know: the last progress line stays in the log above the two lines.
    UpgradeOutcome failDuringTransfer();
    // The EndFrame unaccepted: the log as it stood before the blocks, progress line dropped.
    UpgradeOutcome failAtEndFrame() { return failAwaitingReply(); }

    SerialLink& port_;
    ReplyFlags& flags_;
    Clock& clock_;
    UpgradeInputs& inputs_;
    UpgradeLog& log_;
    const UpgradeSettings settings_;
    ImageObserver* imageObserver_;
    ReplyWaiter replies_;

    UpgradeOutcome outcome_;
    // Held open until the job ends, so the file cannot be replaced under a running upgrade on
    // systems that lock open files.
    std::optional<ReadableFile> file_;
    std::vector<std::uint8_t> image_;
    std::string portName_; // as read last
    int lineSpeed_ = 0;
    int address_ = 0; // the low 8 bits of the address read
    int upgradeSpeed_ = 0;
    std::string progressLine_; // the log and the latest progress line, as shown last
    bool addressed_ = false;   // the EnterUpgradeCommand has gone out
    bool advised_ = false;     // the adapter hint has been given
};

UpgradeOutcome Job::run() {
    static constexpr std::array steps{&Job::loadImage,
                                      &Job::openAtLineSpeed,
                                      &Job::sendEnterUpgradeCommand,
                                      &Job::switchToUpgradeSpeed,
                                      &Job::awaitEnterAck,
                                      &Job::sendStartCommand,
                                      &Job::sendSizeHeader,
                                      &Job::sendDataBlocks,
                                      &Job::sendEndFrame};
    for (const auto step : steps) {
        if (StepEnd end = (this->*step)()) {
            return *std::move(end);
        }
    }
    return succeed();
}

StepEnd Job::loadImage() {
    at(UpgradeStep::Image);
    std::string path;
    if (StepEnd end = read(&UpgradeInputs::imagePath, path)) {
        return end;
    }
    if (path.empty()) {
        log_.appendLog(line(IDS_PLEASE_SELECT_FILE));
        because(UpgradeEnding::Unusable, UpgradeReason::NoFileChosen, text(IDS_PLEASE_SELECT_FILE));
        return outcome_;
    }
    if (const auto loaded = inputs_.loadedImage()) {
        image_.assign(loaded->begin(), loaded->end());
        return imageRead();
    }
    // An empty image goes out as the camera's protocol allows; front ends that refuse one do
    // so before the job.
    ImageLoading loading =
        loadFirmwareImage(path, {.allowEmpty = true, .allowAnyKind = true}, settings_.language, &file_);
    if (!loading.image) {
        return unusable(UpgradeReason::ImageUnreadable, std::move(loading.refusal));
    }
    image_ = std::move(loading.image->bytes);
    if (const auto unusual = imageKindRefusal(image_, path, settings_.language)) {
        const std::optional<bool> send = inputs_.sendUnusualImage(*unusual);
        if (!send) {
            return giveUp();
        }
        if (!*send) {
            return unusable(UpgradeReason::ImageUnreadable, *unusual);
        }
    }
    return imageRead();
}

StepEnd Job::imageRead() {
    outcome_.blockCount = static_cast<std::uint32_t>((image_.size() + blockDataSize - 1) / blockDataSize);
    if (imageObserver_ != nullptr) {
        imageObserver_->imageLoaded(image_);
    }
    return goOn;
}

StepEnd Job::openAtLineSpeed() {
    at(UpgradeStep::Port);
    port_.setReadMode(settings_.lowLatency ? ReadMode::LowLatency : ReadMode::Standard);
    if (port_.closePort() == 0) {
        return closeFailed();
    }
    if (StepEnd end = read(&UpgradeInputs::portName, portName_)) {
        return end;
    }
    if (StepEnd end = read(&UpgradeInputs::lineSpeed, lineSpeed_)) {
        return end;
    }
    return openAt(lineSpeed_);
}

StepEnd Job::sendEnterUpgradeCommand() {
    at(UpgradeStep::Enter);
    int address = 0;
    if (StepEnd end = read(&UpgradeInputs::address, address)) {
        return end;
    }
    address_ = address & 0xFF;
    store(flags_.enterAcknowledged, 0);
    if (StepEnd end = send(makeEnterUpgradeCommand(static_cast<std::uint8_t>(address_), settings_.target))) {
        return end;
    }
    addressed_ = true;
    if (gone()) {
        explain(WaitEnd::DeviceGone, UpgradeReason::None, {});
        return failAwaitingReply();
    }
    return goOn;
}

StepEnd Job::switchToUpgradeSpeed() {
    if (StepEnd end = read(&UpgradeInputs::portName, portName_)) {
        return end;
    }
    if (StepEnd end = read(&UpgradeInputs::upgradeSpeed, upgradeSpeed_)) {
        return end;
    }
    if (upgradeSpeed_ == lineSpeed_) {
        return goOn;
    }
    // An owner that gave up while the job read these inputs gets no reopen; the camera has
    // heard the EnterUpgradeCommand, so it is told.
    if (cancelled()) {
        return giveUp();
    }
    return reopen(upgradeSpeed_);
}

StepEnd Job::awaitEnterAck() {
    log_.replaceLog(line(IDS_START));
    adviseOnAdapter();
    const WaitEnd waited = waitFor([this] { return load(flags_.enterAcknowledged) != 0; }, enterAckWait);
    if (waited != WaitEnd::Met) {
        explain(waited, UpgradeReason::NoEnterAck,
                filled(IDS_REASON_NO_ENTER_ACK, {std::to_string(address_), std::to_string(lineSpeed_)}));
        return failAwaitingReply();
    }
    store(flags_.enterAcknowledged, 0);
    if (StepEnd end = unlessCancelled()) {
        return end;
    }
    clock_.sleepFor(afterEnterAckPause);
    // A job given up during the pause does not claim the command went well.
    if (StepEnd end = unlessCancelled()) {
        return end;
    }
    log_.appendLog(line(IDS_SEND_COMMAND_OK));
    return goOn;
}

StepEnd Job::sendStartCommand() {
    at(UpgradeStep::Start);
    store(flags_.headerRequested, 0);
    if (StepEnd end = send(makeStartCommand(settings_.target))) {
        return end;
    }
    // The Special target's loader talks at 115200 from its StartCommand on.
    const bool special = settings_.target == UpgradeTarget::Special;
    if (special) {
        if (StepEnd failed = reopen(specialSpeed)) {
            return failed;
        }
    }
    const WaitEnd waited = waitFor([this] { return load(flags_.headerRequested) == 1; }, headerRequestWait);
    if (waited != WaitEnd::Met) {
        explain(
            waited, UpgradeReason::NoHeaderRequest,
            filled(IDS_REASON_NO_HEADER_REQUEST, {std::to_string(special ? specialSpeed : upgradeSpeed_)}));
        return failAwaitingReply();
    }
    return goOn;
}

StepEnd Job::sendSizeHeader() {
    at(UpgradeStep::Header);
    store(flags_.headerRequested, 0);
    store(flags_.blockReply, 0);
    if (StepEnd end = send(makeSizeHeader(length()))) {
        return end;
    }
    const WaitEnd waited =
        waitFor([this] { return load(flags_.blockReply) == blockAccepted; }, headerAcceptWait);
    if (waited != WaitEnd::Met) {
        // A BlockNak seen at the end tells the technician the camera refused the size rather
        // than fell silent.
        const bool refused = load(flags_.blockReply) == blockResend;
        explain(waited, refused ? UpgradeReason::SizeRefused : UpgradeReason::SizeUnanswered,
                filled(refused ? IDS_REASON_SIZE_REFUSED : IDS_REASON_SIZE_UNANSWERED,
                       {std::to_string(length())}));
        return failAwaitingReply();
    }
    return goOn;
}

StepEnd Job::sendDataBlocks() {
    // An abort the camera sent before the blocks is not held against them.
    store(flags_.blockReply, 0);
    store(flags_.deviceAborted, 0);
    at(UpgradeStep::Block);
    BlockCursor cursor;
    while (cursor.offset < length()) {
        std::uint8_t answer = 0;
        if (StepEnd end = sendDataBlock(cursor, answer)) {
            return end;
        }
        if (StepEnd end = takeBlockAnswer(answer, cursor)) {
            return end;
        }
        store(flags_.blockReply, 0);
    }
    return goOn;
}

StepEnd Job::sendDataBlock(const BlockCursor& cursor, std::uint8_t& answer) {
    outcome_.block = cursor.number;
    toldReached();
    if (StepEnd end = send(makeDataBlock(image(), cursor.offset, cursor.number))) {
        return end;
    }
    const unsigned percent = progressPercent(cursor.offset, length());
    progressLine_ = log_.showWithLog(progressText(percent, settings_.language));
    log_.progress(UpgradeProgress{percent, cursor.offset, length(), cursor.number, outcome_.blockCount,
                                  cursor.refusals != 0, cursor.refusals});
    const WaitEnd waited = waitFor([&] { return (answer = load(flags_.blockReply)) != 0; }, blockAnswerWait);
    if (waited != WaitEnd::Met) {
        explain(waited, UpgradeReason::BlockUnanswered, blockReason(IDS_REASON_BLOCK_UNANSWERED));
        return failDuringTransfer();
    }
    return goOn;
}

StepEnd Job::takeBlockAnswer(std::uint8_t answer, BlockCursor& cursor) {
    if (answer == blockAccepted) {
        ++cursor.number;
        cursor.offset += blockDataSize;
        cursor.refusals = 0;
        return goOn;
    }
    if (answer != blockResend) {
        because(UpgradeEnding::Failed, UpgradeReason::BlockAnswerUnknown,
                blockReason(IDS_REASON_BLOCK_ANSWER_UNKNOWN));
        return failDuringTransfer();
    }
    // The same block again: same number, same bytes, same percentage.
    ++cursor.refusals;
    ++outcome_.resends;
    if (settings_.maxResends != 0 && cursor.refusals >= settings_.maxResends) {
        because(UpgradeEnding::Failed, UpgradeReason::TooManyResends,
                filled(IDS_REASON_TOO_MANY_RESENDS,
                       {std::to_string(cursor.number), std::to_string(outcome_.blockCount),
                        std::to_string(cursor.refusals)}));
        return failDuringTransfer();
    }
    return goOn;
}

StepEnd Job::sendEndFrame() {
    outcome_.block = 0;
    at(UpgradeStep::EndFrame);
    // blockReply is clear since the last block's answer was taken. It is not cleared again
    // after the write: a camera quick enough to accept before that clear would have its
    // acceptance erased, and a finished upgrade reported as failed.
    if (StepEnd end = send(endFrame)) {
        return end;
    }
    const WaitEnd waited =
        waitFor([this] { return load(flags_.blockReply) == blockAccepted; }, endAcceptWait);
    if (waited != WaitEnd::Met) {
        explain(waited, UpgradeReason::EndNotAccepted, text(IDS_REASON_END_NOT_ACCEPTED));
        return failAtEndFrame();
    }
    return goOn;
}

UpgradeOutcome Job::succeed() {
    // The camera holds the whole image now; a cancel request this late changes nothing.
    progressLine_ = log_.showWithLog(progressText(100, settings_.language));
    log_.progress(
        UpgradeProgress{100, length(), length(), outcome_.blockCount, outcome_.blockCount, false, 0});
    clock_.sleepFor(beforeSuccessPause);
    log_.replaceLog(progressLine_ + line(IDS_UPDATE_OK));
    at(UpgradeStep::Done);
    outcome_.result = 0;
    outcome_.ending = UpgradeEnding::Succeeded;
    outcome_.reason = UpgradeReason::None;
    return outcome_;
}

void Job::adviseOnAdapter() {
    if (!settings_.lowLatency || advised_) {
        return;
    }
    const std::optional<int> latency = port_.adapterLatencyMs();
    if (latency && *latency > adapterLatencyHintAboveMs) {
        advised_ = true;
        log_.advice(
            filled(IDS_ADAPTER_LATENCY_HINT, {portName_, std::to_string(*latency), deviceNameOf(portName_)}));
    }
}

StepEnd Job::reopen(int speed) {
    if (port_.closePort() == 0) {
        return closeFailed();
    }
    return openAt(speed);
}

StepEnd Job::openAt(int speed) {
    if (port_.openPort(portName_, speed, parityNone, byteSize, oneStopBit) == 0) {
        return openFailed();
    }
    // A receiver pausing on the closed port hears of the open; it reads at once when the
    // replies are wanted as soon as they are in.
    flags_.portOpened.ring();
    return goOn;
}

void Job::because(UpgradeEnding ending, UpgradeReason reason, std::string reasonText) {
    outcome_.ending = ending;
    outcome_.reason = reason;
    outcome_.reasonText = std::move(reasonText);
    outcome_.result = -1;
}

void Job::explain(WaitEnd why, UpgradeReason timedOut, std::string silence) {
    switch (why) {
    case WaitEnd::Cancelled:
        because(UpgradeEnding::Cancelled, UpgradeReason::Cancelled, text(IDS_JOB_CANCELLED));
        return;
    case WaitEnd::DeviceGone:
        because(UpgradeEnding::Unusable, UpgradeReason::DeviceGone,
                filled(IDS_REASON_DEVICE_GONE, {portName_}));
        return;
    case WaitEnd::DeviceAborted:
        because(UpgradeEnding::Failed, UpgradeReason::CameraAborted, blockReason(IDS_REASON_CAMERA_ABORTED));
        return;
    case WaitEnd::Met:
    case WaitEnd::TimedOut:
        break;
    }
    because(UpgradeEnding::Failed, timedOut, std::move(silence));
}

UpgradeOutcome Job::unusable(UpgradeReason reason, std::string reasonText) {
    log_.reason(reasonText);
    because(UpgradeEnding::Unusable, reason, std::move(reasonText));
    return outcome_;
}

UpgradeOutcome Job::giveUp() {
    explain(WaitEnd::Cancelled, UpgradeReason::None, {});
    if (!addressed_) {
        log_.reason(outcome_.reasonText);
        return outcome_;
    }
    // Before the first block no progress line has been shown yet.
    if (outcome_.step == UpgradeStep::Block && !progressLine_.empty()) {
        return failDuringTransfer();
    }
    return failAwaitingReply();
}

UpgradeOutcome Job::failAwaitingReply() {
    sendAbort();
    log_.reason(outcome_.reasonText);
    log_.appendLog(line(IDS_UPDATE_FAIL));
    return outcome_;
}

UpgradeOutcome Job::failDuringTransfer() {
    sendAbort();
    log_.replaceLog(progressLine_);
    log_.reason(outcome_.reasonText);
    log_.appendLog(line(IDS_UPDATE_FAIL));
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
