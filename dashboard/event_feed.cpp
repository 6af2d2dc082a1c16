#include "dashboard/event_feed.h"

#include "dashboard/station_json.h"

#include <algorithm>
#include <utility>

namespace orvane {

bool EventClient::push(std::string message) {
    bool first = false;
    {
        const std::lock_guard lock(mutex_);
        if (dropped_) {
            return false;
        }
        if (queue_.size() >= capacity_) {
            dropped_ = true;
            queue_.clear();
            first = true;
        } else {
            first = queue_.empty();
            queue_.push_back(std::move(message));
        }
    }
    if (first) {
        wakeUp();
    }
    return !dropped();
}

void EventClient::watch(std::function<void()> wake) {
    bool now = false;
    {
        const std::lock_guard lock(mutex_);
        wake_ = std::move(wake);
        now = dropped_ || !queue_.empty();
    }
    if (now) {
        wakeUp();
    }
}

void EventClient::wakeUp() {
    std::function<void()> wake;
    {
        const std::lock_guard lock(mutex_);
        wake = wake_;
    }
    if (wake) {
        wake();
    }
}

std::deque<std::string> EventClient::take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(queue_, {});
}

bool EventClient::dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

void EventClient::close() {
    {
        const std::lock_guard lock(mutex_);
        dropped_ = true;
        queue_.clear();
    }
    wakeUp();
}

EventFeed::EventFeed(std::size_t maxClients, std::size_t queueCapacity, HeldSlot held, bool slotEvents)
    : maxClients_(maxClients), queueCapacity_(queueCapacity), held_(std::move(held)),
      slotEvents_(slotEvents) {}

std::shared_ptr<EventClient> EventFeed::join() {
    const std::lock_guard lock(mutex_);
    if (clients_.size() >= maxClients_) {
        return nullptr;
    }
    clients_.push_back(std::make_shared<EventClient>(queueCapacity_));
    return clients_.back();
}

void EventFeed::leave(const std::shared_ptr<EventClient>& client) {
    const std::lock_guard lock(mutex_);
    std::erase(clients_, client);
}

void EventFeed::closeAll() {
    const std::lock_guard lock(mutex_);
    for (const auto& client : clients_) {
        client->close();
    }
}

void EventFeed::publish(const std::string& message) {
    const std::lock_guard lock(mutex_);
    for (const auto& client : clients_) {
        client->push(message);
    }
}

void EventFeed::stationEvent(const StationEvent& event, const StationSnapshot& now) {
    using Kind = StationEvent::Kind;
    {
        const std::lock_guard lock(mutex_);
        if (clients_.empty()) {
            return; // nobody to tell: no JSON made on a job's thread
        }
    }
    if (slotEvents_ && (event.kind == Kind::Appeared || event.kind == Kind::Disappeared)) {
        publish(sseMessage("", contractSlotEvent(event)));
    }
    if (event.kind == Kind::ImageChanged || event.kind == Kind::Job) {
        publish(sseMessage("snapshot", jsonLine(stationJson(now))));
        return;
    }
    // The one slot that changed and the shift's counters: a progress message stays small.
    DashboardJson slot = slotJson(event.slot);
    slot["paused"] = held_ && held_(event.slot.name);
    publish(sseMessage("state", jsonLine(slotStateMessage(std::move(slot), now.total))));
}

std::string sseMessage(const std::string& type, const std::string& data) {
    std::string message;
    if (!type.empty()) {
        message = "event: " + type + "\n";
    }
    return message + "data: " + data + "\n\n";
}

} // namespace orvane
