// One firmware upgrade: image file to camera board, over the port, answered through the
// reply receiver's flags. The job knows nothing of the front end: it reads the user's
// choices through UpgradeInputs at the steps that need them, writes through UpgradeLog and
// waits through an injected Clock.
#pragma once

#include "imagetools/firmware_image.h"
#include "serial/serial_link.h"
#include "text/text_language.h"
#include "upgrade/clock.h"
#include "upgrade/frames.h"
#include "upgrade/job_slot.h"
#include "upgrade/reply_flags.h"
#include "upgrade/upgrade_outcome.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvane {

// The user's choices, read at the steps that use them (the dialog reads its controls then).
// Each answers nullopt when its owner refuses the read (a dialog that is ending): the job then
// gives up as cancelled rather than go on with a value nobody chose.
class UpgradeInputs {
  public:
    virtual ~UpgradeInputs() = default;
    virtual std::optional<std::string> imagePath() = 0; // empty: no file chosen
    virtual std::optional<std::string> portName() = 0;
    virtual std::optional<int> lineSpeed() = 0;
    virtual std::optional<int> address() = 0;
    virtual std::optional<int> upgradeSpeed() = 0;
    // The image's bytes when its owner has read them already, so that every camera of a
    // station gets the same bytes whatever happens to the file: the job sends these and reads
    // no file (imagePath() still names them). nullopt: the job reads imagePath().
    virtual std::optional<std::span<const std::uint8_t>> loadedImage() { return std::nullopt; }
    // Whether an image the job read that looks like no firmware (reason says why: HEX text, an
    // ELF file) goes out all the same. No unless its owner asks the user.
    virtual std::optional<bool> sendUnusualImage(const std::string& /*reason*/) { return false; }
};

struct UpgradeProgress {
    unsigned percent = 0;          // as shown in the progress line
    std::uint32_t offset = 0;      // first byte of the block just written
    std::uint32_t length = 0;      // image length
    std::uint32_t blockNumber = 0; // 1-based, before wrapping to 16 bits
    std::uint32_t blockCount = 0;  // DataBlocks the image needs (ceil(length / 1024))
    bool resend = false;           // the same block again after a BlockNak
    std::uint32_t refusals = 0;    // BlockNaks this block has had so far
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
    // Why the job is ending, one line without line end, said just before "Update was failed !"
    // (or alone, where the job ends before addressing the camera). The log box takes it as a
    // line of its own; a command line may send it elsewhere.
    virtual void reason(const std::string& text) { appendLog(text + "\r\n"); }
    // A hint for the technician that does not change how the job goes (how to make the
    // adapter faster), said at most once a job. Not part of the log box's lines by default.
    virtual void advice(const std::string& /*text*/) {}
};

// What the front end chose for this job; each job carries its own, so jobs on different
// ports can run at once with different boards and languages.
struct UpgradeSettings {
    UpgradeTarget target = UpgradeTarget::MainBoard;
    TextLanguage language = TextLanguage::English;
    // Give up after this many BlockNaks of one block; 0 sends a refused block again for ever.
    std::uint32_t maxResends = 0;
    // React to the camera's replies as soon as they are in: the port's reads end with the
    // first bytes and the job waits for the receiver's signal instead of polling every 5 or
    // 100 ms. Frames, their order, the time limits and the fixed pauses for the camera stay;
    // only the gaps between a reply and the next frame shrink. Off: reads end 100 ms after the
    // last byte and the job polls the flags every 5 or 100 ms.
    bool lowLatency = false;
};

// Told of the image's bytes once the job has read them, before any is sent: what a front end
// keeps of the attempt (its size and digest) comes from the same read as what goes out. Told
// too of each step reached and each block sent, on the job's thread, so an attempt cut short
// still says how far it came: an observer only notes the numbers there.
class ImageObserver {
  public:
    virtual ~ImageObserver() = default;
    virtual void imageLoaded(std::span<const std::uint8_t> bytes) = 0;
    virtual void reached(UpgradeStep /*step*/, std::uint32_t /*block*/, std::uint32_t /*blocks*/) {}
};

struct UpgradeJobContext {
    SerialLink& port;
    ReplyFlags& flags;
    Clock& clock;
    UpgradeInputs& inputs;
    UpgradeLog& log;
    UpgradeSettings settings{};
    // Set by the job's owner to give the upgrade up: the job sends the AbortFrame and fails.
    const std::atomic<bool>* cancelRequested = nullptr;
    ImageObserver* imageObserver = nullptr; // called on the job's thread
};

// Runs one upgrade to its end on the calling thread; outcome.result is 0 on success, -1
// otherwise. Refused (nothing sent, port untouched, one log line) while another job holds
// the same port. Never throws: an error inside the job ends it as a failure with a reason.
UpgradeOutcome runUpgradeJob(const UpgradeJobContext& context);

// The same, for an owner that has taken the port's slot already.
UpgradeOutcome runUpgradeJob(const UpgradeJobContext& context, JobSlot slot);

// The percentage a progress line shows for the block at offset: offset / length in single
// precision, times 100.0 in double precision, truncated. length must not be 0.
unsigned progressPercent(std::uint32_t offset, std::uint32_t length);

// The progress line's text: string 113 in language, the percentage, '%', CR LF.
std::string progressText(unsigned percent, TextLanguage language);

} // namespace orvane
