#include "dashboard/event_feed.h"

#include "dashboard/station_json.h"

#include <algorithm>
#include <utility>

namespace orvane {

bool EventClient::push(std::string message) {
    {
        const std::lock_guard lock(mutex_);
        if (dropped_) {
            return false;
        }
        if (queue_.size() >= capacity_) {
            dropped_ = true;
            queue_.clear();
        } else {
            queue_.push_back(std::move(message));
        }
    }
    ready_.notify_one();
    return !dropped();
}

std::optional<std::string> EventClient::next(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, wait, [this] { return dropped_ || !queue_.empty(); });
    if (dropped_ || queue_.empty()) {
        return std::nullopt;
    }
    std::string message = std::move(queue_.front());
    queue_.pop_front();
    return message;
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
    ready_.notify_all();
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
    if (event.kind == Kind::ImageChanged) {
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
