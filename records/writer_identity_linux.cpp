#include "records/writer_identity.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <limits>
#include <pwd.h>
#include <unistd.h>

namespace orvane {

WriterIdentity thisWriter() {
    WriterIdentity writer;
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) == 0) {
        writer.host = host.data();
    }
    writer.processId = ::getpid();
    std::ifstream boot("/proc/sys/kernel/random/boot_id");
    std::getline(boot, writer.bootId);
    return writer;
}

bool writerAlive(const WriterIdentity& writer) {
    if (writer.bootId != thisWriter().bootId) {
        return false;
    }
    // A number beyond pid_t would wrap into this process or its group, alive for ever.
    if (writer.processId <= 0 || writer.processId > std::numeric_limits<pid_t>::max()) {
        return false;
    }
    // EPERM: alive, only not ours to signal.
    return ::kill(static_cast<pid_t>(writer.processId), 0) == 0 || errno == EPERM;
}

std::string loginName() {
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return std::to_string(::geteuid());
}

} // namespace orvane
