#include "records/sqlite_store.h"
#include "records/store_place.h"

#include <windows.h>

#include <shlobj.h>

namespace orvane {

std::filesystem::path defaultRecordsFile() {
    PWSTR local = nullptr;
    std::filesystem::path base = ".";
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local) == S_OK) {
        base = local;
    }
    CoTaskMemFree(local);
    return base / "Orvane" / "records.sqlite";
}

OpenedStore openRecordStore(const StorePlace& place) {
    OpenedStore opened;
    if (place.kind == StorePlaceKind::file) {
        opened.store = SqliteStore::open(place.where, opened.status);
    } else if (place.kind == StorePlaceKind::server) {
        // A line's server is reached through libpq, which the Windows build does not carry.
        opened.unsupportedHere = true;
        opened.status = storeFailure("records on a PostgreSQL server are kept by the Linux build only");
    }
    return opened;
}

OpenedStore openRecordStoreForReading(const StorePlace& place) {
    if (place.kind != StorePlaceKind::file) {
        return openRecordStore(place);
    }
    OpenedStore opened;
    opened.store = SqliteStore::openForReading(place.where, opened.status);
    return opened;
}

StoreStatus initialiseRecordStore(const StorePlace& place) {
    StoreStatus status;
    if (place.kind == StorePlaceKind::file) {
        (void)SqliteStore::open(place.where, status);
        return status;
    }
    return openRecordStore(place).status;
}

} // namespace orvane
