#include "attempts/attempt_record.h"

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
    record.imagePath = facts.imagePath;
    record.target = targetName(facts.target);
    record.address = facts.address;
    record.lineSpeed = facts.lineSpeed;
    record.upgradeSpeed = facts.upgradeSpeed;
    record.replyMode = facts.lowLatency ? "low-latency" : "standard";
    record.toolVersion = choice.toolVersion;
    record.host = writer.host;
    record.processId = writer.processId;
    record.bootId = writer.bootId;
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
