// The records a `records` command asks for, from the store --records names: this desk's file
// by default (not there yet: no records yet, not a fault), another file, or a line's server.
#pragma once

#include "records/record_store.h"

#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct RecordsQuery {
    std::string place;       // --records as given; empty for this desk's file
    RecordFilter filter;     // what the store filters by
    std::string imagePrefix; // --image shorter than a whole SHA-256, in lower case: filtered here
};

// Why nothing could be read: a request that cannot be met as asked (no records kept, a kind
// of store this build lacks), or a store that is there but cannot be used.
struct RecordsRefusal {
    bool badRequest = false;
    std::string reason;
};

struct ReadRecords {
    std::vector<UpgradeRecord> records;    // the newest first
    std::optional<RecordsRefusal> refusal; // why nothing could be read
    std::optional<std::string> noneYet;    // this desk's file, which is not there yet
};

ReadRecords readRecords(const RecordsQuery& query);

} // namespace orvane
