#include "line/line_view.h"

#include "output/yield_text.h"
#include "records/record_time.h"

namespace orvane {
namespace {

JsonFields moment(std::optional<std::int64_t> ms) {
    return ms ? JsonFields(isoMoment(*ms, true)) : JsonFields(nullptr);
}

JsonFields countsJson(const LineCounts& counts) {
    return {{"succeeded", counts.succeeded},
            {"notSucceeded", counts.notSucceeded},
            {"firstPassYield", yieldPercentJson(counts.units.firstPassYield())},
            {"finalYield", yieldPercentJson(counts.units.finalYield())}};
}

JsonFields countsOf(const std::map<std::string, LineCounts>& counts, const std::string& name) {
    const auto found = counts.find(name);
    return countsJson(found == counts.end() ? LineCounts{} : found->second);
}

template <typename T> JsonFields optionalJson(const std::optional<T>& value) {
    return value ? JsonFields(*value) : JsonFields(nullptr);
}

JsonFields needsJson(const NeedsPerson& needs) {
    return {{"total", needs.total()},     {"failed", needs.failed},
            {"unusable", needs.unusable}, {"waitingForLabel", needs.waitingForLabel},
            {"paused", needs.paused},     {"notHeardFrom", needs.notHeardFrom}};
}

} // namespace

void LineView::watch(Watcher watcher) {
    const std::lock_guard lock(mutex_);
    watcher_ = std::move(watcher);
}

std::optional<std::string> LineView::take(const std::string& name, const std::optional<LineStation>& row) {
    const auto found = shown_.find(name);
    if (!row) {
        if (found == shown_.end()) {
            return std::nullopt;
        }
        shown_.erase(found);
        JsonFields message = {
            {"time", utcTimestamp(std::chrono::system_clock::now())}, {"station", name}, {"entry", nullptr}};
        message.update(totalsLocked());
        return jsonLine(message);
    }
    const StationStatus status =
        stationStatus(*row, serverNowMs_.value_or(row->lastSeenMs), settings_.staleAfter);
    if (found != shown_.end() && found->second.row == *row && found->second.status == status) {
        return std::nullopt;
    }
    Shown& shown = shown_[name];
    shown = Shown{*row, status};
    JsonFields message = {{"time", utcTimestamp(std::chrono::system_clock::now())},
                          {"station", name},
                          {"entry", entryJsonLocked(shown)}};
    message.update(totalsLocked());
    return jsonLine(message);
}

void LineView::station(const std::string& name, const std::optional<LineStation>& row,
                       std::int64_t serverNowMs) {
    std::vector<std::string> messages;
    {
        const std::lock_guard lock(mutex_);
        serverNowMs_ = serverNowMs;
        if (auto message = take(name, row)) {
            messages.push_back(std::move(*message));
        }
    }
    tell(messages);
}

void LineView::stations(const std::map<std::string, LineStation>& rows, std::int64_t serverNowMs) {
    std::vector<std::string> messages;
    {
        const std::lock_guard lock(mutex_);
        serverNowMs_ = serverNowMs;
        std::vector<std::string> gone;
        for (const auto& [name, shown] : shown_) {
            if (!rows.contains(name)) {
                gone.push_back(name);
            }
        }
        for (const std::string& name : gone) {
            if (auto message = take(name, std::nullopt)) {
                messages.push_back(std::move(*message));
            }
        }
        for (const auto& [name, row] : rows) {
            if (auto message = take(name, row)) {
                messages.push_back(std::move(*message));
            }
        }
    }
    tell(messages);
}

void LineView::yields(LineYields counted) {
    std::vector<std::string> messages;
    {
        const std::lock_guard lock(mutex_);
        const JsonFields before = lineJsonLocked();
        yields_ = std::move(counted);
        const JsonFields after = lineJsonLocked();
        for (const auto& [name, shown] : shown_) {
            if (before["stations"][name] != after["stations"][name] || before["day"] != after["day"] ||
                before["jobs"] != after["jobs"]) {
                JsonFields message = {{"time", utcTimestamp(std::chrono::system_clock::now())},
                                      {"station", name},
                                      {"entry", entryJsonLocked(shown)}};
                message.update(totalsLocked());
                messages.push_back(jsonLine(message));
            }
        }
    }
    tell(messages);
}

void LineView::databaseTrouble(std::optional<std::string> reason) {
    const std::lock_guard lock(mutex_);
    trouble_ = std::move(reason);
}

void LineView::tell(const std::vector<std::string>& messages) const {
    Watcher watcher;
    {
        const std::lock_guard lock(mutex_);
        watcher = watcher_;
    }
    for (const std::string& message : messages) {
        if (watcher) {
            watcher(message);
        }
    }
}

JsonFields LineView::entryJsonLocked(const Shown& shown) const {
    const LineStation& row = shown.row;
    return {{"name", row.name},
            {"host", row.host},
            {"processId", row.processId},
            {"job", optionalJson(row.job)},
            {"jobVersion", optionalJson(row.jobVersion)},
            {"sha256", optionalJson(row.imageSha256)},
            {"started", moment(row.startedMs)},
            {"lastSeen", moment(row.lastSeenMs)},
            {"stopped", moment(row.stoppedMs)},
            {"status", statusName(shown.status)},
            {"needsPerson", needsJson(needsPerson(row, shown.status))},
            {"shift", countsOf(yields_.shift, row.name)},
            {"day", countsOf(yields_.day, row.name)},
            {"state", row.state}};
}

// What every message carries of the whole line, so a page kept by messages alone stays whole.
JsonFields LineView::totalsLocked() const {
    NeedsPerson needs;
    for (const auto& [name, shown] : shown_) {
        needs += needsPerson(shown.row, shown.status);
    }
    JsonFields jobs = JsonFields::array();
    for (const auto& [version, counts] : yields_.jobs) {
        jobs.push_back({{"job", optionalJson(version.first)},
                        {"jobVersion", optionalJson(version.second)},
                        {"day", countsJson(counts)}});
    }
    return {{"needsPerson", needsJson(needs)},
            {"shift", countsJson(yields_.lineShift)},
            {"day", countsJson(yields_.lineDay)},
            {"jobs", jobs}};
}

JsonFields LineView::lineJsonLocked() const {
    JsonFields stations = JsonFields::object();
    for (const auto& [name, shown] : shown_) {
        stations[name] = entryJsonLocked(shown);
    }
    JsonFields line = {
        {"time", utcTimestamp(std::chrono::system_clock::now())},
        {"serverTime", moment(serverNowMs_)},
        {"dayStarts",
         moment(serverNowMs_ ? std::optional(dayStartMs(*serverNowMs_, settings_.dayStartMinutes))
                             : std::nullopt)},
        {"staleAfter", settings_.staleAfter.count()},
        {"lang", settings_.lang.empty() ? JsonFields(nullptr) : JsonFields(settings_.lang)},
        {"control", settings_.control},
        {"database", optionalJson(trouble_)}};
    line.update(totalsLocked());
    line["stations"] = std::move(stations);
    return line;
}

std::string LineView::json() const {
    const std::lock_guard lock(mutex_);
    return jsonLine(lineJsonLocked());
}

std::map<std::string, std::int64_t> LineView::shiftStarts() const {
    const std::lock_guard lock(mutex_);
    std::map<std::string, std::int64_t> starts;
    for (const auto& [name, shown] : shown_) {
        starts.emplace(name, shown.row.startedMs);
    }
    return starts;
}

std::int64_t LineView::dayStart() const {
    const std::lock_guard lock(mutex_);
    const std::int64_t now = serverNowMs_.value_or(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       std::chrono::system_clock::now().time_since_epoch())
                                                       .count());
    return dayStartMs(now, settings_.dayStartMinutes);
}

std::optional<std::int64_t> LineView::serverNow() const {
    const std::lock_guard lock(mutex_);
    return serverNowMs_;
}

bool LineView::known(const std::string& name) const {
    const std::lock_guard lock(mutex_);
    return shown_.contains(name);
}

} // namespace orvane
