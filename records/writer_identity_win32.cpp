#include "platform/windows_text.h"
#include "records/writer_identity.h"

#include <windows.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>

namespace orvane {
namespace {

constexpr std::string_view bootPrefix = "boot-";

std::optional<long long> bootMinuteOf(std::string_view bootId) {
    if (!bootId.starts_with(bootPrefix)) {
        return std::nullopt;
    }
    bootId.remove_prefix(bootPrefix.size());
    long long minute = 0;
    const auto [end, error] = std::from_chars(bootId.data(), bootId.data() + bootId.size(), minute);
    if (error != std::errc() || end != bootId.data() + bootId.size()) {
        return std::nullopt;
    }
    return minute;
}

// The boot's start as read now moves with the tick count's steps and with every correction
// of the clock, so a reading on the far side of a minute, or a little later, is still this
// boot: a live writer must not pass for a crashed one.
bool sameBoot(std::string_view a, std::string_view b) {
    constexpr long long slackMinutes = 2;
    const std::optional<long long> first = bootMinuteOf(a);
    const std::optional<long long> second = bootMinuteOf(b);
    return first && second && std::llabs(*first - *second) <= slackMinutes;
}

} // namespace

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
    writer.bootId = std::string(bootPrefix) + std::to_string(booted.count());
    return writer;
}

bool writerAlive(const WriterIdentity& writer) {
    // A number beyond a DWORD would wrap into another process, perhaps this one.
    if (!sameBoot(writer.bootId, thisWriter().bootId) || writer.processId <= 0 ||
        writer.processId > (std::numeric_limits<DWORD>::max)()) {
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
