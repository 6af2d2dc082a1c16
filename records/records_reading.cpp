#include "records/records_reading.h"

#include "records/store_place.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace orvane {
namespace {

ReadRecords refused(bool badRequest, std::string reason) {
    ReadRecords read;
    read.refusal = RecordsRefusal{badRequest, std::move(reason)};
    return read;
}

bool fileExists(const std::string& utf8Path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end())),
                                   error);
}

// A "running" record may turn out to be interrupted as it is read (its writer is gone), and
// a file opened for reading is never marked: asked for either ending, the store gives all.
bool endingDecidedHere(const RecordsQuery& query) {
    return query.filter.ending == recordRunning || query.filter.ending == recordInterrupted;
}

// What the store cannot filter by: an image named by the start of its SHA-256, and those
// endings.
bool filteredHere(const RecordsQuery& query) {
    return !query.imagePrefix.empty() || endingDecidedHere(query);
}

void filterHere(const RecordsQuery& query, std::vector<UpgradeRecord>& records) {
    std::erase_if(records, [&](const UpgradeRecord& record) {
        return !record.imageSha256.starts_with(query.imagePrefix) ||
               (query.filter.ending && record.ending != *query.filter.ending);
    });
    if (query.filter.limit && records.size() > *query.filter.limit) {
        records.resize(*query.filter.limit);
    }
}

} // namespace

ReadRecords readRecords(const RecordsQuery& query) {
    const StorePlace place = storePlaceOf(query.place);
    if (place.kind == StorePlaceKind::none) {
        return refused(true, "records: --records none keeps no records; name the file or server to read");
    }
    if (place.kind == StorePlaceKind::file && !fileExists(place.where)) {
        if (!query.place.empty()) {
            return refused(false, "No records file " + place.where);
        }
        ReadRecords read;
        read.noneYet = place.where;
        return read;
    }
    OpenedStore opened = openRecordStoreForReading(place);
    if (opened.unsupportedHere) {
        return refused(true, "records: " + opened.status.reason);
    }
    if (!opened.store) {
        return refused(false, opened.status.reason);
    }
    RecordFilter filter = query.filter;
    if (filteredHere(query)) {
        filter.limit.reset();
    }
    if (endingDecidedHere(query)) {
        filter.ending.reset();
    }
    StoreStatus status;
    ReadRecords read;
    read.records = opened.store->find(filter, status);
    if (!status.ok) {
        return refused(false, status.reason);
    }
    if (filteredHere(query)) {
        filterHere(query, read.records);
    }
    return read;
}

} // namespace orvane
