// A build without the records room keeps no records; only a run that requires them is told.
#include "attempts/records_book.h"

namespace orvane {

OpenedBook openRecordsBook(const RecordsChoice& choice) {
    OpenedBook opened;
    if (choice.required && choice.place != "none") {
        opened.refusal = "this build of Orvane keeps no records";
    }
    return opened;
}

} // namespace orvane
