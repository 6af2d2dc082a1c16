#include "records/record_fields.h"

#include "output/csv_row.h"

#include <cstdio>

namespace orvane {
namespace {

RecordValue orNone(const std::optional<std::string>& value) {
    return value ? RecordValue(*value) : RecordValue();
}

RecordValue orNone(const std::string& value) {
    return value.empty() ? RecordValue() : RecordValue(value);
}

RecordValue fieldNumber(std::int64_t value) {
    return value;
}

struct CsvCell {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(const std::string& text) const { return csvField(text); }
    std::string operator()(std::int64_t value) const { return std::to_string(value); }
    std::string operator()(double value) const {
        char text[40];
        std::snprintf(text, sizeof text, "%.3f", value);
        return text;
    }
};

} // namespace

std::array<RecordValue, recordFieldNames.size()> recordValues(const UpgradeRecord& r) {
    using namespace std::chrono;
    return {r.id,
            utcTimestamp(system_clock::time_point(milliseconds(r.startedMs))),
            static_cast<double>(r.durationMs) / 1000.0,
            r.station,
            r.operatorName,
            r.port,
            r.device,
            orNone(r.byId),
            orNone(r.driver),
            orNone(r.vid),
            orNone(r.pid),
            orNone(r.usbSerial),
            r.image,
            fieldNumber(static_cast<std::int64_t>(r.imageSize)),
            r.imageSha256,
            r.target,
            fieldNumber(r.address),
            fieldNumber(r.lineSpeed),
            fieldNumber(r.upgradeSpeed),
            r.replyMode,
            r.ending,
            orNone(r.step),
            fieldNumber(r.block),
            fieldNumber(r.blocks),
            orNone(r.reason),
            fieldNumber(r.resends),
            r.toolVersion,
            r.host,
            fieldNumber(r.processId),
            r.bootId,
            orNone(r.imagePath),
            orNone(r.unit),
            r.slot,
            r.plug,
            fieldNumber(r.attempt),
            orNone(r.sentTo),
            orNone(r.job),
            r.jobVersion ? fieldNumber(*r.jobVersion) : RecordValue()};
}

JsonFields recordFields(const UpgradeRecord& record) {
    const auto values = recordValues(record);
    JsonFields fields = JsonFields::object();
    for (std::size_t i = 0; i < values.size(); ++i) {
        fields[std::string(recordFieldNames[i])] = std::visit(
            [](const auto& value) -> JsonFields {
                if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::monostate>) {
                    return nullptr;
                } else {
                    return value;
                }
            },
            values[i]);
    }
    return fields;
}

std::string recordCsvRow(const UpgradeRecord& record) {
    const auto values = recordValues(record);
    std::string row;
    for (std::size_t i = 0; i < values.size(); ++i) {
        row += (i == 0 ? "" : ",") + std::visit(CsvCell{}, values[i]);
    }
    return row + "\r\n";
}

} // namespace orvane
