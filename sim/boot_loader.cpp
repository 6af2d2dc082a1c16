// The camera's boot loader: which frame it expects in which state, what it checks and
// what it answers. See boot_loader.h.
#include "sim/boot_loader.h"

#include "sim/strict_timing.h"

#include <algorithm>

namespace orvane {
namespace {

constexpr std::uint8_t mainEnterCode = 0xAA;
constexpr std::uint8_t motorEnterCode = 0x55;
constexpr std::size_t blockFrameLength = 4 + blockDataSize + 2;

std::uint32_t blocksFor(std::uint32_t length) {
    return static_cast<std::uint32_t>((std::uint64_t{length} + blockDataSize - 1) / blockDataSize);
}

// Which target a StartCommand names, if it fits the board the EnterUpgradeCommand chose.
std::optional<UpgradeTarget> targetOf(std::uint8_t enterCode, std::uint8_t startCode) {
    if (enterCode == mainEnterCode && startCode == 0xAA)
        return UpgradeTarget::MainBoard;
    if (enterCode == mainEnterCode && startCode == 0xA9)
        return UpgradeTarget::Special;
    if (enterCode == motorEnterCode && startCode == 0x55)
        return UpgradeTarget::MotorBoard;
    return std::nullopt;
}

} // namespace

BootLoader::BootLoader(BootLoaderSettings settings, CameraFaults faults)
    : settings_(settings), faults_(std::move(faults)), speed_(settings.lineSpeed) {}

void BootLoader::setFaults(CameraFaults faults) {
    faults_ = std::move(faults);
}

CameraAnswer BootLoader::onFrame(const HostFrame& frame) {
    CameraAnswer answer;
    if (heardTooSoon(frame, answer)) {
        return answer;
    }
    answer = decide(frame);
    if (answer.reply) {
        lastReplyAt_ = frame.time; // the earliest it can go out; the line says when it did
    }
    return answer;
}

void BootLoader::noteReplyOut(SimTime at) {
    lastReplyAt_ = at;
}

bool BootLoader::heardTooSoon(const HostFrame& frame, CameraAnswer& answer) const {
    if (!settings_.strict || !lastReplyAt_) {
        return false;
    }
    const auto since = frame.time - *lastReplyAt_;
    const auto pause = pauseCutShort(frame.kind, since);
    if (!pause) {
        return false;
    }
    answer.note = std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(since).count()) +
                  " ms after the camera's reply, sooner than the host's pause of " +
                  std::to_string(pause->count()) + " ms: the boot loader is not listening yet (strict)";
    return true;
}

CameraAnswer BootLoader::decide(const HostFrame& frame) {
    switch (frame.kind) {
    case HostFrameKind::EnterUpgrade:
        return onEnter(frame);
    case HostFrameKind::Start:
        return onStart(frame);
    case HostFrameKind::Header:
        return onHeader(frame);
    case HostFrameKind::Block:
        return onBlock(frame);
    case HostFrameKind::End:
        return onEnd();
    case HostFrameKind::Abort:
        return onAbort();
    case HostFrameKind::Ptz:
    case HostFrameKind::Unrecognised:
    case HostFrameKind::Garbled:
        break;
    }
    return {};
}

std::optional<UpgradeVerdict> BootLoader::powerCycle() {
    std::optional<UpgradeVerdict> result;
    if (state_ == BootState::Receiving) {
        result = verdict(false, "the camera was switched off");
    }
    state_ = BootState::Application;
    speed_ = settings_.lineSpeed;
    return result;
}

bool BootLoader::silent(CameraStep step, std::uint32_t block, CameraAnswer& answer) const {
    if (!stepMatches(faults_.silentAt, step, block)) {
        return false;
    }
    answer.note = "stays silent (fault)";
    return true;
}

void BootLoader::backToApplication(CameraAnswer& answer) {
    state_ = BootState::Application;
    if (speed_ != settings_.lineSpeed) {
        speed_ = settings_.lineSpeed;
        answer.speedAfterReply = speed_;
    }
}

CameraAnswer BootLoader::onEnter(const HostFrame& frame) {
    CameraAnswer answer;
    const std::uint8_t address = frame.bytes[1];
    const std::uint8_t code = frame.bytes[4];
    if (address != settings_.address) {
        answer.note = "not this camera's address (" + std::to_string(settings_.address) + ")";
        return answer;
    }
    if (code != mainEnterCode && code != motorEnterCode) {
        answer.note = "unknown board code, ignored";
        return answer;
    }
    answer.step = CameraStep::Enter;
    if (silent(CameraStep::Enter, 0, answer)) {
        return answer;
    }
    if (state_ == BootState::Receiving) {
        answer.verdict = verdict(false, "a new EnterUpgradeCommand restarted the upgrade");
    }
    state_ = BootState::AwaitingStart;
    enterCode_ = code;
    if (speed_ != settings_.upgradeSpeed) {
        speed_ = settings_.upgradeSpeed;
        answer.speedBeforeReply = speed_;
    }
    answer.reply = enterAckReply;
    return answer;
}

CameraAnswer BootLoader::onStart(const HostFrame& frame) {
    CameraAnswer answer;
    if (state_ != BootState::AwaitingStart) {
        answer.note = "unexpected now, ignored";
        return answer;
    }
    const auto target = targetOf(enterCode_, frame.bytes[2]);
    if (!target) {
        answer.note = "start code does not fit the board entered, ignored";
        return answer;
    }
    answer.step = CameraStep::Start;
    if (silent(CameraStep::Start, 0, answer)) {
        return answer;
    }
    target_ = *target;
    state_ = BootState::AwaitingHeader;
    if (target_ == UpgradeTarget::Special && speed_ != specialTargetSpeed) {
        speed_ = specialTargetSpeed;
        answer.speedBeforeReply = speed_;
    }
    answer.reply = headerRequestReply;
    return answer;
}

CameraAnswer BootLoader::onHeader(const HostFrame& frame) {
    CameraAnswer answer;
    if (state_ != BootState::AwaitingHeader) {
        answer.note = "unexpected now, ignored";
        return answer;
    }
    answer.step = CameraStep::Header;
    if (silent(CameraStep::Header, 0, answer)) {
        return answer;
    }
    const auto count = static_cast<std::uint16_t>(bigEndian(frame.bytes, 2, 2));
    const std::uint32_t length = bigEndian(frame.bytes, 4, 4);
    if (!frame.intact || count != blockCountOf(length)) {
        answer.note = frame.intact ? "block count does not fit the length, refused" : "damaged, refused";
        answer.reply = blockNakReply;
        return answer;
    }
    state_ = BootState::Receiving;
    length_ = length;
    announcedBlocks_ = count;
    nextBlock_ = 1;
    blocksSeen_ = 0;
    naksGiven_.clear();
    data_.clear();
    answer.reply = blockAckReply;
    return answer;
}

CameraAnswer BootLoader::onBlock(const HostFrame& frame) {
    CameraAnswer answer;
    if (state_ != BootState::Receiving) {
        answer.note = "no transfer under way, ignored";
        return answer;
    }
    const std::uint32_t number = frame.bytes.size() >= 4 ? bigEndian(frame.bytes, 2, 2) : 0;
    // Only 16 bits travel; name the block by its full number when it is the one expected.
    const std::uint32_t block = number == (nextBlock_ & 0xFFFFu) ? nextBlock_ : number;
    answer.step = CameraStep::Block;
    answer.block = block;
    if (silent(CameraStep::Block, block, answer)) {
        return answer;
    }
    if (faults_.abortAtBlock && *faults_.abortAtBlock == block) {
        answer.note = "gives up (fault)";
        answer.reply = abortReply;
        answer.verdict = verdict(false, "the camera gave up at block " + std::to_string(block));
        backToApplication(answer);
        return answer;
    }
    ++blocksSeen_;
    answer.reply = blockNakReply;
    if (faults_.nakEvery != 0 && blocksSeen_ % faults_.nakEvery == 0) {
        answer.note = "refused (fault: every " + std::to_string(faults_.nakEvery) + ")";
        return answer;
    }
    if (const auto it = faults_.nakBlocks.find(block);
        it != faults_.nakBlocks.end() && naksGiven_[block] < it->second) {
        ++naksGiven_[block];
        answer.note = "refused (fault: " + std::to_string(naksGiven_[block]) + " of " +
                      std::to_string(it->second) + ")";
        return answer;
    }
    if (!frame.intact || frame.bytes.size() != blockFrameLength) {
        answer.note = "check byte or length wrong, refused";
        return answer;
    }
    if (number != (nextBlock_ & 0xFFFFu)) {
        answer.note = "expected block " + std::to_string(nextBlock_) + ", refused";
        return answer;
    }
    if (nextBlock_ > blocksFor(length_)) {
        answer.note = "more blocks than the length announced, refused";
        return answer;
    }
    data_.insert(data_.end(), frame.bytes.begin() + 4, frame.bytes.begin() + 4 + blockDataSize);
    ++nextBlock_;
    answer.reply = blockAckReply;
    return answer;
}

CameraAnswer BootLoader::onEnd() {
    CameraAnswer answer;
    if (state_ != BootState::Receiving) {
        answer.note = "no transfer under way, ignored";
        return answer;
    }
    answer.step = CameraStep::End;
    if (silent(CameraStep::End, 0, answer)) {
        return answer;
    }
    // The count in the SizeHeader is one over for exact multiples of 1024: the length decides.
    if (settings_.strict && nextBlock_ - 1 < blocksFor(length_)) {
        answer.note = "only " + std::to_string(nextBlock_ - 1) + " of " + std::to_string(blocksFor(length_)) +
                      " blocks are in: not answered, the boot loader waits for the rest (strict)";
        return answer;
    }
    answer.reply = blockAckReply;
    answer.verdict = verdict(true, "");
    backToApplication(answer);
    return answer;
}

CameraAnswer BootLoader::onAbort() {
    CameraAnswer answer;
    if (state_ == BootState::Application) {
        answer.note = "no upgrade under way, ignored";
        return answer;
    }
    if (state_ == BootState::Receiving) {
        answer.verdict =
            verdict(false, "the host gave up after " + std::to_string(nextBlock_ - 1) + " blocks");
    }
    answer.note = "upgrade given up; the camera restarts its application";
    backToApplication(answer);
    return answer;
}

UpgradeVerdict BootLoader::verdict(bool finished, const std::string& ending) const {
    UpgradeVerdict v;
    v.target = target_;
    v.announcedLength = length_;
    v.announcedBlocks = announcedBlocks_;
    v.blocksReceived = nextBlock_ - 1;
    const std::size_t kept = std::min<std::size_t>(length_, data_.size());
    v.image.assign(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(kept));
    const bool fillerOnly = std::all_of(data_.begin() + static_cast<std::ptrdiff_t>(kept), data_.end(),
                                        [](std::uint8_t b) { return b == blockFiller; });
    const bool complete = v.blocksReceived == blocksFor(length_) && fillerOnly;
    v.finished = finished;
    v.matches = finished && complete;
    v.summary = "received " + std::to_string(v.image.size()) + " of " + std::to_string(length_) +
                " bytes in " + std::to_string(v.blocksReceived) + " blocks: ";
    if (v.matches) {
        v.summary += "the image is complete";
    } else if (!finished) {
        v.summary += "upgrade not finished, " + ending;
    } else {
        v.summary += fillerOnly ? "blocks are missing" : "bytes past the announced length are not filler";
    }
    return v;
}

} // namespace orvane
