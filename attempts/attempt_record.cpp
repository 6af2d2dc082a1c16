#include "attempts/attempt_record.h"

#include <filesystem>

namespace orvane {
namespace {

std::string targetName(UpgradeTarget target) {
    switch (target) {
    case UpgradeTarget::MotorBoard:
        return "motor";
    case UpgradeTarget::Special:
        return "special";
    case UpgradeTarget::MainBoard:
        break;
    }
    return "main";
}

// The image's path made absolute against the working folder, UTF-8 as given.
std::string absoluteImagePath(const std::string& given) {
    if (given.empty()) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path path(std::u8string(given.begin(), given.end()));
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) {
        return given;
    }
    const std::u8string text = absolute.lexically_normal().u8string();
    return {text.begin(), text.end()};
}

} // namespace

UpgradeRecord runningRecord(const AttemptFacts& facts, const RecordsChoice& choice, const PortDetails& port,
                            const WriterIdentity& writer, std::int64_t startedMs) {
    UpgradeRecord record;
    record.startedMs = startedMs;
    record.station = choice.station.empty() ? writer.host : choice.station;
    record.operatorName = choice.operatorName.empty() ? loginName() : choice.operatorName;
    record.port = facts.port;
    record.device = port.path;
    record.byId = port.byId;
    record.driver = port.driver;
    record.vid = port.vid;
    record.pid = port.pid;
    record.usbSerial = port.serial;
    record.image = facts.imagePath;
    // A released job's image has a name but no path here.
    record.imagePath = facts.job ? std::string() : absoluteImagePath(facts.imagePath);
    record.target = targetName(facts.target);
    record.address = facts.address;
    record.lineSpeed = facts.lineSpeed;
    record.upgradeSpeed = facts.upgradeSpeed;
    record.replyMode = facts.lowLatency ? "low-latency" : "standard";
    record.toolVersion = choice.toolVersion;
    record.host = writer.host;
    record.processId = writer.processId;
    record.bootId = writer.bootId;
    record.unit = facts.unit;
    record.slot = facts.slot.empty() ? facts.port : facts.slot;
    record.plug = facts.plug;
    record.attempt = facts.attempt;
    record.job = facts.job;
    record.jobVersion = facts.jobVersion;
    return record;
}

void completeRecord(UpgradeRecord& record, const UpgradeOutcome& outcome, std::int64_t durationMs) {
    record.durationMs = durationMs;
    record.ending = std::string(endingName(outcome.ending));
    record.step = std::string(stepName(outcome.step));
    record.block = outcome.block;
    record.blocks = outcome.blockCount;
    record.reason = outcome.reason == UpgradeReason::DeviceGone ? "unplugged" : outcome.reasonText;
    record.resends = outcome.resends;
}

} // namespace orvane
