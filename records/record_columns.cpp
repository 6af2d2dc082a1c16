#include "records/record_columns.h"

namespace orvane {
namespace {

ColumnValue text(const std::string& value) {
    return value;
}
ColumnValue text(const std::optional<std::string>& value) {
    return value ? ColumnValue(*value) : ColumnValue();
}
ColumnValue number(std::int64_t value) {
    return value;
}
ColumnValue number(const std::optional<std::int64_t>& value) {
    return value ? ColumnValue(*value) : ColumnValue();
}

std::string textOf(const ColumnValue& value) {
    const auto* held = std::get_if<std::string>(&value);
    return held != nullptr ? *held : std::string();
}
std::optional<std::string> optionalTextOf(const ColumnValue& value) {
    const auto* held = std::get_if<std::string>(&value);
    return held != nullptr ? std::optional<std::string>(*held) : std::nullopt;
}
std::int64_t numberOf(const ColumnValue& value) {
    const auto* held = std::get_if<std::int64_t>(&value);
    return held != nullptr ? *held : 0;
}
std::optional<std::int64_t> optionalNumberOf(const ColumnValue& value) {
    const auto* held = std::get_if<std::int64_t>(&value);
    return held != nullptr ? std::optional<std::int64_t>(*held) : std::nullopt;
}

} // namespace

std::array<ColumnValue, recordColumns.size()> columnValuesOf(const UpgradeRecord& r) {
    return {text(r.id),
            number(r.startedMs),
            number(r.durationMs),
            text(r.station),
            text(r.operatorName),
            text(r.port),
            text(r.device),
            text(r.byId),
            text(r.driver),
            text(r.vid),
            text(r.pid),
            text(r.usbSerial),
            text(r.image),
            number(static_cast<std::int64_t>(r.imageSize)),
            text(r.imageSha256),
            text(r.target),
            number(r.address),
            number(r.lineSpeed),
            number(r.upgradeSpeed),
            text(r.replyMode),
            text(r.ending),
            text(r.step),
            number(r.block),
            number(r.blocks),
            text(r.reason),
            number(r.resends),
            text(r.toolVersion),
            text(r.host),
            number(r.processId),
            text(r.bootId),
            text(r.imagePath),
            text(r.unit),
            text(r.slot),
            text(r.plug),
            number(r.attempt),
            text(r.job),
            number(r.jobVersion)};
}

bool isNumberColumn(std::size_t index) {
    // Optional numbers are NULL in an empty record: give them a value to tell their kind.
    static const auto kinds = [] {
        UpgradeRecord sample;
        sample.jobVersion = 0;
        return columnValuesOf(sample);
    }();
    return std::holds_alternative<std::int64_t>(kinds.at(index));
}

UpgradeRecord recordOfColumns(const std::array<ColumnValue, recordColumns.size()>& v) {
    UpgradeRecord r;
    r.id = textOf(v[0]);
    r.startedMs = numberOf(v[1]);
    r.durationMs = numberOf(v[2]);
    r.station = textOf(v[3]);
    r.operatorName = textOf(v[4]);
    r.port = textOf(v[5]);
    r.device = textOf(v[6]);
    r.byId = optionalTextOf(v[7]);
    r.driver = optionalTextOf(v[8]);
    r.vid = optionalTextOf(v[9]);
    r.pid = optionalTextOf(v[10]);
    r.usbSerial = optionalTextOf(v[11]);
    r.image = textOf(v[12]);
    r.imageSize = static_cast<std::uint64_t>(numberOf(v[13]));
    r.imageSha256 = textOf(v[14]);
    r.target = textOf(v[15]);
    r.address = static_cast<int>(numberOf(v[16]));
    r.lineSpeed = static_cast<int>(numberOf(v[17]));
    r.upgradeSpeed = static_cast<int>(numberOf(v[18]));
    r.replyMode = textOf(v[19]);
    r.ending = textOf(v[20]);
    r.step = textOf(v[21]);
    r.block = static_cast<std::uint32_t>(numberOf(v[22]));
    r.blocks = static_cast<std::uint32_t>(numberOf(v[23]));
    r.reason = textOf(v[24]);
    r.resends = static_cast<std::uint32_t>(numberOf(v[25]));
    r.toolVersion = textOf(v[26]);
    r.host = textOf(v[27]);
    r.processId = numberOf(v[28]);
    r.bootId = textOf(v[29]);
    r.imagePath = textOf(v[30]);
    r.unit = optionalTextOf(v[31]);
    r.slot = textOf(v[32]);
    r.plug = textOf(v[33]);
    r.attempt = static_cast<std::uint32_t>(numberOf(v[34]));
    r.job = optionalTextOf(v[35]);
    r.jobVersion = optionalNumberOf(v[36]);
    return r;
}

} // namespace orvane
