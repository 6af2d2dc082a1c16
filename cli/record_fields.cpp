#include "cli/record_fields.h"

namespace orvane {
namespace {

JsonFields orNull(const std::optional<std::string>& value) {
    return value ? JsonFields(*value) : JsonFields(nullptr);
}

JsonFields orNull(const std::string& value) {
    return value.empty() ? JsonFields(nullptr) : JsonFields(value);
}

} // namespace

JsonFields recordFields(const UpgradeRecord& r) {
    return {{"id", r.id},
            {"started",
             utcTimestamp(std::chrono::system_clock::time_point(std::chrono::milliseconds(r.startedMs)))},
            {"seconds", static_cast<double>(r.durationMs) / 1000.0},
            {"station", r.station},
            {"operator", r.operatorName},
            {"port", r.port},
            {"device", r.device},
            {"byId", orNull(r.byId)},
            {"driver", orNull(r.driver)},
            {"vid", orNull(r.vid)},
            {"pid", orNull(r.pid)},
            {"serial", orNull(r.usbSerial)},
            {"image", r.imagePath},
            {"imageSize", r.imageSize},
            {"sha256", r.imageSha256},
            {"target", r.target},
            {"address", r.address},
            {"lineSpeed", r.lineSpeed},
            {"upgradeSpeed", r.upgradeSpeed},
            {"replyMode", r.replyMode},
            {"ending", r.ending},
            {"step", orNull(r.step)},
            {"block", r.block},
            {"blocks", r.blocks},
            {"reason", orNull(r.reason)},
            {"resends", r.resends},
            {"toolVersion", r.toolVersion},
            {"host", r.host},
            {"processId", r.processId},
            {"bootId", r.bootId}};
}

std::vector<std::string> recordFieldNames() {
    std::vector<std::string> names;
    const JsonFields fields = recordFields(UpgradeRecord{});
    for (const auto& [name, value] : fields.items()) {
        names.push_back(name);
    }
    return names;
}

std::string csvCellOf(const JsonFields& value) {
    if (value.is_null()) {
        return {};
    }
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return value.dump();
}

} // namespace orvane
