#include "station/slot_event.h"

namespace orvane {

JsonFields slotEventFields(const StationEvent& event) {
    return {{"slot", event.slot.name}, {"present", event.kind == StationEvent::Kind::Appeared}};
}

} // namespace orvane
