// Where a front end keeps its records: the file of this desk by default, another file, none
// at all, or a line's PostgreSQL server (with this desk's file as the spool of what the
// server has not yet taken). Every front end chooses through here, so "--records" means the
// same to the command line, the station and the dialogs.
#pragma once

#include "records/record_store.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace orvane {

enum class StorePlaceKind { none, file, server };

struct StorePlace {
    StorePlaceKind kind = StorePlaceKind::file;
    std::string where; // the file's path or the server's URI; empty: none
};

// What "--records" was given: "none", a postgresql:// or postgres:// URI, else a file's path.
// Empty: this desk's default file.
StorePlace storePlaceOf(std::string_view given);

// A place as a screen or a log may show it: a server's password (user:password@, or a
// password= parameter) replaced by "***"; a file's path as it is.
std::string shownPlace(std::string_view where);

// This desk's records file: $XDG_STATE_HOME/orvane/records.sqlite (~/.local/state/orvane/
// when unset) on Linux, %LOCALAPPDATA%\Orvane\records.sqlite on Windows.
std::filesystem::path defaultRecordsFile();

struct OpenedStore {
    std::unique_ptr<RecordStore> store; // null: nothing is kept (none, or refused)
    StoreStatus status;                 // why not, when refused
    bool unsupportedHere = false;       // the place is one this system cannot write (a usage error)
};

// Opens the store of a place. A refusal (not a records database, a newer schema, a folder
// that cannot be made) is a status with its reason; a server that does not answer is none.
OpenedStore openRecordStore(const StorePlace& place);

// Opens a place to read its records, making and changing nothing: a file read-only (so one on
// a read-only medium can be listed), a server with no more than SELECT.
OpenedStore openRecordStoreForReading(const StorePlace& place);

// Makes or migrates the records' schema of a file or server (the owner's once for a line's
// server); the status says why not. A place of "none" is the caller's to refuse.
StoreStatus initialiseRecordStore(const StorePlace& place);

} // namespace orvane
