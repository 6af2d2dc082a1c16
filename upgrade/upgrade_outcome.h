// How an upgrade job ended, for front ends to decide on (exit statuses, summaries, what to
// show) without reading the log's words: the ending, the step it ended at and the reason.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

enum class UpgradeEnding : std::uint8_t {
    Succeeded,
    Failed,    // the camera did not go along: no answer, a refusal, its own abort
    Unusable,  // the image or the port could not be used (nothing, or nothing more, was sent)
    Cancelled, // the owner gave the job up; the camera was told where it had been addressed
};

// The steps of an upgrade, in order; an outcome names the one it ended at.
enum class UpgradeStep : std::uint8_t {
    Image,    // choosing and reading the image file
    Port,     // opening the port at the line speed
    Enter,    // the boot-loader command and its answer
    Start,    // the start command and the camera's request for the size
    Header,   // the size header and its acceptance
    Block,    // the data blocks (block and blockCount say which)
    EndFrame, // the end frame and its acceptance
    Done,
};

enum class UpgradeReason : std::uint8_t {
    None,
    NoFileChosen,
    ImageUnreadable, // includes a file that changed while read, or too large
    PortUnusable,    // the port would not close or open
    NoEnterAck,
    NoHeaderRequest,
    SizeRefused, // a BlockNak to the size header
    SizeUnanswered,
    BlockUnanswered,
    CameraAborted,
    BlockAnswerUnknown,
    TooManyResends,
    EndNotAccepted,
    DeviceGone,
    Cancelled,
    InternalError,
    RecordsNotKept, // records are required and the attempt's could not be kept: nothing was sent
};

struct UpgradeOutcome {
    int result = -1; // 0 on success, -1 on every other ending: the job's integer answer
    UpgradeEnding ending = UpgradeEnding::Unusable;
    UpgradeStep step = UpgradeStep::Image;
    std::uint32_t block = 0;      // the block being sent when it ended (1-based), else 0
    std::uint32_t blockCount = 0; // DataBlocks of the image, once it was read
    UpgradeReason reason = UpgradeReason::None;
    std::string reasonText;    // one line in the job's language, empty on success
    std::uint32_t resends = 0; // blocks sent again after a BlockNak, over the whole job

    bool succeeded() const { return ending == UpgradeEnding::Succeeded; }
};

// Stable lower-case names for scripts: "succeeded", "failed", "unusable", "cancelled";
// "image", "port", "enter", "start", "header", "block", "end", "done".
std::string_view endingName(UpgradeEnding ending);
std::string_view stepName(UpgradeStep step);

} // namespace orvane
