#include "line/station_publisher.h"

#include "dashboard/station_json.h"
#include "records/line_tables.h"

#include <algorithm>

namespace orvane {

using SteadyClock = std::chrono::steady_clock;

StationPublisher::StationPublisher(StationState& state, PublisherSettings settings)
    : state_(state), settings_(std::move(settings)), line_(settings_.uri), row_(settings_.row) {}

StationPublisher::~StationPublisher() {
    stop();
}

std::optional<NameHolder> StationPublisher::start() {
    lastTry_ = SteadyClock::now();
    std::string why;
    if (line_.connect(why) && line_.run("LISTEN " + std::string(stationCommandsChannel)).ok()) {
        lastCommand_ = latestCommandId(line_);
        NameHolder holder;
        if (publish(&holder) == RowWrite::taken) {
            return holder;
        }
    }
    state_.addListener(*this);
    thread_ = std::thread([this] { run(); });
    return std::nullopt;
}

void StationPublisher::stop() {
    {
        const std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            return;
        }
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void StationPublisher::stationEvent(const StationEvent& event, const StationSnapshot& /*now*/) {
    const bool progress = event.kind == StationEvent::Kind::Progress;
    {
        const std::lock_guard lock(mutex_);
        pending_ = std::max(pending_, progress ? Pending::progress : Pending::change);
    }
    // A percent waits for its turn anyway; the thread looks several times a second.
    if (!progress) {
        wake_.notify_one();
    }
}

SteadyClock::time_point StationPublisher::writeDue() const {
    switch (pending_) {
    case Pending::change:
        return lastWrite_;
    case Pending::progress:
        return lastWrite_ + settings_.progressGap;
    case Pending::none:
        break;
    }
    return lastWrite_ + settings_.heartbeat;
}

void StationPublisher::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const SteadyClock::time_point now = SteadyClock::now();
        if (!line_.connected()) {
            lock.unlock();
            reach(now);
            lock.lock();
        } else if (writeDue() <= now) {
            const bool heartbeat = pending_ == Pending::none;
            pending_ = Pending::none;
            lock.unlock();
            publish();
            if (heartbeat) {
                readCommands(); // a notification lost on the way costs at most a heartbeat
            }
            lock.lock();
            continue;
        }
        wake_.wait_until(lock, std::min(writeDue(), now + settings_.commandPoll));
        lock.unlock();
        if (const auto woken = line_.notifications(); woken && !woken->empty()) {
            readCommands();
        }
        lock.lock();
    }
    lock.unlock();
    if (line_.connected()) {
        stopStationRow(line_, currentRow());
    }
}

void StationPublisher::reach(SteadyClock::time_point now) {
    if (now - lastTry_ < settings_.retryGap) {
        return;
    }
    lastTry_ = now;
    std::string why; // said by the records already
    if (!line_.connect(why) || !line_.run("LISTEN " + std::string(stationCommandsChannel)).ok()) {
        return;
    }
    readCommands(); // those left while the server was away
    publish();
}

RowWrite StationPublisher::publish(NameHolder* holder) {
    const RowWrite wrote = writeStationRow(line_, currentRow(), settings_.staleAfter, starting_, holder);
    lastWrite_ = SteadyClock::now();
    if (wrote == RowWrite::written) {
        starting_ = false;
    }
    return wrote;
}

void StationPublisher::readCommands() {
    if (!lastCommand_) {
        lastCommand_ = latestCommandId(line_);
        return;
    }
    const auto commands = commandsAfter(line_, settings_.row.name, *lastCommand_);
    if (!commands || commands->empty()) {
        return;
    }
    bool pause = paused_;
    for (const StationCommand& command : *commands) {
        lastCommand_ = command.id;
        pause = command.command == "pause" || (pause && command.command != "resume");
    }
    if (pause == paused_) {
        return;
    }
    paused_ = pause;
    {
        const std::lock_guard lock(mutex_);
        pending_ = Pending::change;
    }
    if (settings_.pausedChanged) {
        settings_.pausedChanged(pause);
    }
}

StationRow StationPublisher::currentRow() {
    StationRow row;
    {
        const std::lock_guard lock(mutex_);
        row = row_;
    }
    const StationSnapshot now = state_.snapshot();
    row.imageSha256 = now.imageSha256;
    if (now.job) { // a released job's name and version, as new plugs take them
        row.job = now.job;
        row.jobVersion = now.jobVersion;
    }
    DashboardJson json = stationJson(now);
    const bool paused = paused_;
    json["paused"] = paused;
    for (auto& slot : json["slots"]) {
        slot["paused"] = paused || (settings_.held && settings_.held(slot["slot"].get<std::string>()));
    }
    row.state = jsonLine(json);
    return row;
}

} // namespace orvane
