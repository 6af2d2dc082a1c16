// Who writes a record: the host, the process and the boot it runs in. A record left
// "running" whose writer is gone (same host, and that process is not alive in this boot)
// was cut short by a crash, a kill or a power cut.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

struct WriterIdentity {
    std::string host;
    std::int64_t processId = 0;
    std::string bootId;
};

WriterIdentity thisWriter();

// Whether the writer of a record made on this host still runs: its boot is this one and
// its process is alive. A record of another host is never judged.
bool writerAlive(const WriterIdentity& writer);

// The login name of this process's user, for a record's operator.
std::string loginName();

} // namespace orvane
