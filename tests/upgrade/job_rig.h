// A scripted stand-in for the port, the camera and the receiver in one: every frame the job
// writes is recorded with the port's speed and the virtual time, and answered by raising the
// flags the real receiver would raise, at the next pause of the job's fake clock unless the
// script says otherwise.
#pragma once

#include "serial/serial_link.h"
#include "support/fake_clock.h"
#include "support/files.h"
#include "support/temp_folder.h"
#include "upgrade/reply_assembly.h"
#include "upgrade/upgrade_job.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

using Bytes = std::vector<std::uint8_t>;

enum class Sent { Enter, Start, Size, Block, End, Abort, Other };

inline Sent kindOf(const Bytes& frame) {
    if (frame.size() == 8 && frame[0] == 0xA0) {
        return Sent::Enter;
    }
    if (frame.size() < 5 || frame[0] != 0xA5) {
        return Sent::Other;
    }
    switch (frame[1]) {
    case 0xF6:
        return Sent::Start;
    case 0xF7:
        return Sent::Size;
    case 0xF8:
        return Sent::Block;
    case 0xFA:
        return Sent::End;
    case 0xF9:
        return Sent::Abort;
    default:
        return Sent::Other;
    }
}

struct WireEvent {
    std::string what; // "close", "open <name> <speed>", or "<frame> <speed>" ("block2 9600")
    Bytes bytes;      // written frames only
    std::chrono::milliseconds at{0};
};

class ScriptedCamera final : public SerialLink {
  public:
    ScriptedCamera(ReplyFlags& flags, FakeClock& clock) : flags_(flags), clock_(clock) {}

    // --- the script ---
    bool open = true;
    int speed = 9600;
    std::map<int, int> failOpen;  // n-th openPort (1-based) -> errno
    std::map<int, int> failClose; // n-th closePort (1-based) -> errno
    std::set<Sent> silentTo;      // frames left unanswered (Block: see silentToBlock)
    std::set<std::uint32_t> silentToBlock;
    std::set<std::uint32_t> nakOnce; // blocks answered BlockNak the first time they come
    bool nakSizeHeader = false;      // the SizeHeader answered with BlockNak
    // Answer a frame at once, inside the write, instead of at the job's next pause.
    bool answerInsideWrite = false;
    // Replaces the answer to a frame; answer(reply) raises a reply as the script's timing says.
    std::function<bool(Sent kind, std::uint32_t block, const std::function<void(Reply)>& answer)> custom;
    // Called inside every write before it is answered (e.g. to block the job).
    std::function<void(Sent kind)> onWrite;
    // The device has vanished (an adapter pulled out): what the real port reports then.
    std::atomic<bool> gone{false};

    // --- what happened ---
    std::vector<WireEvent> events() const {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> trace() const {
        std::vector<std::string> out;
        for (const auto& e : events()) {
            out.push_back(e.what);
        }
        return out;
    }
    std::vector<Bytes> written(Sent kind) const {
        std::vector<Bytes> out;
        for (const auto& e : events()) {
            if (!e.bytes.empty() && kindOf(e.bytes) == kind) {
                out.push_back(e.bytes);
            }
        }
        return out;
    }
    // Virtual time of the first write of kind, or -1 ms.
    std::chrono::milliseconds firstWriteAt(Sent kind, std::size_t skip = 0) const {
        for (const auto& e : events()) {
            if (!e.bytes.empty() && kindOf(e.bytes) == kind && skip-- == 0) {
                return e.at;
            }
        }
        return std::chrono::milliseconds{-1};
    }

    // --- SerialLink ---
    int openPort(std::string_view name, int baudRate, int parity, int byteSize, int stopBits) override {
        const std::lock_guard lock(mutex_);
        ++opens_;
        record("open " + std::string(name) + " " + std::to_string(baudRate) +
               (parity == 0 && byteSize == 8 && stopBits == 0 ? "" : " not-8N1"));
        if (auto it = failOpen.find(opens_); it != failOpen.end()) {
            open = false;
            lastError_ = it->second;
            return 0;
        }
        open = true;
        speed = baudRate;
        lastError_ = 0;
        return 1;
    }
    int closePort() override {
        const std::lock_guard lock(mutex_);
        ++closes_;
        record("close");
        if (auto it = failClose.find(closes_); it != failClose.end()) {
            lastError_ = it->second;
            return 0;
        }
        open = false;
        lastError_ = 0;
        return 1;
    }
    int writePort(std::span<const std::uint8_t> bytes) override {
        Bytes frame(bytes.begin(), bytes.end());
        const Sent kind = kindOf(frame);
        const std::uint32_t block = kind == Sent::Block ? (std::uint32_t{frame[2]} << 8 | frame[3]) : 0;
        {
            const std::lock_guard lock(mutex_);
            if (!open) {
                record("write on closed port");
                return 0;
            }
            record(nameOf(kind, block) + " " + std::to_string(speed), frame);
        }
        if (onWrite) {
            onWrite(kind);
        }
        respond(kind, block);
        return static_cast<int>(bytes.size());
    }
    int readPort(std::span<std::uint8_t>) override { return 0; }
    bool deviceGone() const override { return gone.load(); }
    bool isOpen() const override {
        const std::lock_guard lock(mutex_);
        return open;
    }
    int lastError() const override {
        const std::lock_guard lock(mutex_);
        return lastError_;
    }

  private:
    static std::string nameOf(Sent kind, std::uint32_t block) {
        switch (kind) {
        case Sent::Enter:
            return "enter";
        case Sent::Start:
            return "start";
        case Sent::Size:
            return "size";
        case Sent::Block:
            return "block" + std::to_string(block);
        case Sent::End:
            return "end";
        case Sent::Abort:
            return "abort";
        case Sent::Other:
            break;
        }
        return "other";
    }

    void record(std::string what, Bytes bytes = {}) {
        events_.push_back({std::move(what), std::move(bytes), clock_.elapsed()});
    }

    void respond(Sent kind, std::uint32_t block) {
        const auto answer = [this](Reply reply) {
            if (answerInsideWrite) {
                raiseFlag(flags_, reply);
            } else {
                clock_.after(std::chrono::milliseconds{0}, [this, reply] { raiseFlag(flags_, reply); });
            }
        };
        if (custom && custom(kind, block, answer)) {
            return;
        }
        if (silentTo.contains(kind) || (kind == Sent::Block && silentToBlock.contains(block))) {
            return;
        }
        switch (kind) {
        case Sent::Enter:
            answer(Reply::EnterAck);
            break;
        case Sent::Start:
            answer(Reply::HeaderRequest);
            break;
        case Sent::Size:
            answer(nakSizeHeader ? Reply::BlockNak : Reply::BlockAck);
            break;
        case Sent::Block:
            answer(nakOnce.erase(block) != 0 ? Reply::BlockNak : Reply::BlockAck);
            break;
        case Sent::End:
            answer(Reply::BlockAck);
            break;
        case Sent::Abort:
        case Sent::Other:
            break;
        }
    }

    ReplyFlags& flags_;
    FakeClock& clock_;
    mutable std::mutex mutex_;
    std::vector<WireEvent> events_;
    int opens_ = 0;
    int closes_ = 0;
    int lastError_ = 0;
};

// The log box: keeps the log and every text shown, in order.
class RecordingLog final : public UpgradeLog {
  public:
    explicit RecordingLog(std::string initial = {}) : log_(std::move(initial)) {}

    void replaceLog(const std::string& text) override {
        const std::lock_guard lock(mutex_);
        log_ = text;
        shown_.push_back(log_);
    }
    void appendLog(const std::string& text) override {
        const std::lock_guard lock(mutex_);
        log_ += text;
        shown_.push_back(log_);
    }
    std::string showWithLog(const std::string& tail) override {
        const std::lock_guard lock(mutex_);
        shown_.push_back(log_ + tail);
        return shown_.back();
    }
    void progress(const UpgradeProgress& progress) override {
        const std::lock_guard lock(mutex_);
        progress_.push_back(progress);
    }

    std::string log() const {
        const std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<std::string> shown() const {
        const std::lock_guard lock(mutex_);
        return shown_;
    }
    std::vector<UpgradeProgress> progressReports() const {
        const std::lock_guard lock(mutex_);
        return progress_;
    }

  private:
    mutable std::mutex mutex_;
    std::string log_;
    std::vector<std::string> shown_;
    std::vector<UpgradeProgress> progress_;
};

// The user's choices; records which were read, in order.
class ScriptedInputs final : public UpgradeInputs {
  public:
    std::string path;
    std::vector<std::string> portNames{"ttyFAKE"}; // one per read; the last repeats
    int line = 9600;
    int addressValue = 1;
    int upgrade = 9600;
    // The reads from this one on (0-based, in the order they come) are refused, as a dialog
    // that has ended refuses them.
    std::size_t refusedFrom = SIZE_MAX;

    std::optional<std::string> imagePath() override { return answer("imagePath", path); }
    std::optional<std::string> portName() override {
        const std::string name = portNames.front();
        if (portNames.size() > 1) {
            portNames.erase(portNames.begin());
        }
        return answer("portName", name);
    }
    std::optional<int> lineSpeed() override { return answer("lineSpeed", line); }
    std::optional<int> address() override { return answer("address", addressValue); }
    std::optional<int> upgradeSpeed() override { return answer("upgradeSpeed", upgrade); }

    std::vector<std::string> reads() const {
        const std::lock_guard lock(mutex_);
        return reads_;
    }

  private:
    template <typename T> std::optional<T> answer(const char* what, const T& value) {
        const std::lock_guard lock(mutex_);
        reads_.emplace_back(what);
        if (reads_.size() > refusedFrom) {
            return std::nullopt;
        }
        return value;
    }
    mutable std::mutex mutex_;
    std::vector<std::string> reads_;
};

// The log an ending shows: what a test expects, with the job's reason line right before
// "Update was failed !" (a cancel's reason is the cancel line such a test names itself).
inline std::string withReason(std::string expected, const UpgradeOutcome& outcome) {
    const std::string failed = "Update was failed !\r\n";
    if (outcome.reason == UpgradeReason::Cancelled || !expected.ends_with(failed)) {
        return expected;
    }
    expected.insert(expected.size() - failed.size(), outcome.reasonText + "\r\n");
    return expected;
}

// Image bytes that differ from block to block, so a block sent from the wrong offset shows.
inline Bytes imageOf(std::size_t length) {
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 7 + i / 1024 * 13 + 3) & 0xFF);
    }
    return image;
}

// An image file in a temporary folder of its own, removed with the object.
class TempFile {
  public:
    explicit TempFile(const Bytes& content) {
        test::writeFile(path(),
                        std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
    }
    // A sparse file of the given length (cheap even at tens of megabytes).
    static TempFile sized(std::uintmax_t length) {
        TempFile file;
        test::writeFile(file.path(), {});
        std::filesystem::resize_file(file.path(), length);
        return file;
    }
    std::string path() const { return folder_->file("image.bin"); }

  private:
    TempFile() = default;
    std::unique_ptr<test::TempFolder> folder_ = std::make_unique<test::TempFolder>();
};

} // namespace orvane::testing
