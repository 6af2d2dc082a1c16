// The line a technician reads when a record is not where it was asked to be.
#include "attempts/records_book.h"
#include "text/string_table.h"

namespace orvane {

std::string recordTroubleText(const RecordTroubleNote& note, TextLanguage language) {
    return fillText(textOf(note.waiting ? IDS_RECORD_WAITING : IDS_RECORD_NOT_KEPT, language), {note.reason});
}

} // namespace orvane
