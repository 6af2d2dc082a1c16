#include "platform/windows_text.h"
#include "records/writer_identity.h"

#include <windows.h>

#include <chrono>

namespace orvane {

WriterIdentity thisWriter() {
    WriterIdentity writer;
    wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(host, &length)) {
        writer.host = narrowText(std::wstring_view(host, length));
    }
    writer.processId = static_cast<std::int64_t>(GetCurrentProcessId());
    // Windows keeps no boot id: the boot's start, to the minute, tells one boot from the next.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto booted =
        std::chrono::duration_cast<std::chrono::minutes>(now - std::chrono::milliseconds(GetTickCount64()));
    writer.bootId = "boot-" + std::to_string(booted.count());
    return writer;
}

bool writerAlive(const WriterIdentity& writer) {
    if (writer.bootId != thisWriter().bootId || writer.processId <= 0) {
        return false;
    }
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(writer.processId));
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

std::string loginName() {
    wchar_t name[256] = {};
    DWORD length = 256;
    if (GetUserNameW(name, &length) && length > 0) {
        return narrowText(std::wstring_view(name, length - 1));
    }
    return "unknown";
}

} // namespace orvane
