#include "cli/station_line.h"

#include "cli/exit_codes.h"
#include "line/station_publisher.h"
#include "records/postgres_store.h"
#include "records/writer_identity.h"
#include "text/string_table.h"

namespace orvane {

struct StationLine::Impl {
    std::unique_ptr<StationPublisher> publisher;
};

StationLine::StationLine() : impl_(std::make_unique<Impl>()) {}

StationLine::~StationLine() = default;

bool StationLine::paused() const {
    return impl_->publisher && impl_->publisher->paused();
}

std::optional<int> StationLine::start(StationState& state, const RecordsChoice& records, LineHooks hooks,
                                      Console& console, TextLanguage language) {
    if (!isPostgresUri(records.place)) {
        return std::nullopt;
    }
    const WriterIdentity self = thisWriter();
    PublisherSettings settings;
    settings.uri = records.place;
    settings.row.name = records.station.empty() ? self.host : records.station;
    settings.row.host = self.host;
    settings.row.processId = self.processId;
    settings.held = std::move(hooks.held);
    settings.pausedChanged = std::move(hooks.pausedChanged);
    impl_->publisher = std::make_unique<StationPublisher>(state, settings);
    if (const auto holder = impl_->publisher->start()) {
        impl_->publisher.reset();
        return console.result(
            {exitUnusable, fillText(textOf(IDS_LINE_NAME_TAKEN, language),
                                    {settings.row.name, holder->host, std::to_string(holder->secondsAgo)})});
    }
    return std::nullopt;
}

} // namespace orvane
