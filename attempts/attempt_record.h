// The record of an attempt, from what the front end gave the job, what the system says of
// the port and how the job ended.
#pragma once

#include "attempts/records_book.h"
#include "records/upgrade_record.h"
#include "records/writer_identity.h"
#include "serial/port_details.h"

#include <cstdint>

namespace orvane {

UpgradeRecord runningRecord(const AttemptFacts& facts, const RecordsChoice& choice, const PortDetails& port,
                            const WriterIdentity& writer, std::int64_t startedMs);

// The ending, step, block, reason and resends of the outcome. An adapter that went away
// while the job ran reads "unplugged", whatever the job's language.
void completeRecord(UpgradeRecord& record, const UpgradeOutcome& outcome, std::int64_t durationMs);

} // namespace orvane
