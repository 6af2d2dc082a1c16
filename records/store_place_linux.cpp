#include "records/postgres_store.h"
#include "records/sqlite_store.h"
#include "records/store_place.h"

#include <cstdlib>

namespace orvane {

std::filesystem::path defaultRecordsFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // XDG: a relative state home is ignored, as if unset.
    if (state != nullptr && state[0] == '/') {
        return std::filesystem::path(state) / "orvane" / "records.sqlite";
    }
    const char* home = std::getenv("HOME");
    const std::filesystem::path base = home != nullptr && home[0] != '\0' ? home : ".";
    return base / ".local" / "state" / "orvane" / "records.sqlite";
}

OpenedStore openRecordStore(const StorePlace& place) {
    OpenedStore opened;
    if (place.kind == StorePlaceKind::file) {
        opened.store = SqliteStore::open(place.where, opened.status);
    } else if (place.kind == StorePlaceKind::server) {
        opened.store = PostgresStore::open(place.where, defaultRecordsFile().string(), opened.status);
    }
    return opened;
}

OpenedStore openRecordStoreForReading(const StorePlace& place) {
    OpenedStore opened;
    if (place.kind == StorePlaceKind::file) {
        opened.store = SqliteStore::openForReading(place.where, opened.status);
    } else if (place.kind == StorePlaceKind::server) {
        opened.store = PostgresStore::openForReading(place.where, opened.status);
    }
    return opened;
}

StoreStatus initialiseRecordStore(const StorePlace& place) {
    if (place.kind == StorePlaceKind::server) {
        return PostgresStore::initialise(place.where);
    }
    StoreStatus status;
    (void)SqliteStore::open(place.where, status);
    return status;
}

} // namespace orvane
