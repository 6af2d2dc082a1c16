#include "child_process.h"
#include "platform/windows_text.h"

#include <windows.h>

#include <utility>
#include <vector>

namespace orvane::test {

std::optional<ChildProcess> ChildProcess::start(const std::string& part) {
    std::vector<wchar_t> self(32768);
    if (GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())) == 0) {
        return std::nullopt;
    }
    // The child inherits the variable; this process keeps it only while starting it.
    const std::wstring widePart = widenText(part);
    std::wstring commandLine = L"\"" + std::wstring(self.data()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    (void)SetEnvironmentVariableW(L"ORVANE_RECORDS_CHILD", widePart.c_str());
    const BOOL ok = CreateProcessW(self.data(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &started);
    (void)SetEnvironmentVariableW(L"ORVANE_RECORDS_CHILD", nullptr);
    if (!ok) {
        return std::nullopt;
    }
    CloseHandle(started.hThread);
    return ChildProcess(started.dwProcessId, reinterpret_cast<std::intptr_t>(started.hProcess));
}

ChildProcess::~ChildProcess() {
    if (handle_ != 0) {
        if (!waited_) {
            (void)wait();
        }
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : id_(other.id_), handle_(std::exchange(other.handle_, 0)), waited_(other.waited_) {}

int ChildProcess::wait() {
    const auto process = reinterpret_cast<HANDLE>(handle_);
    waited_ = true;
    DWORD code = 0;
    if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) {
        return -1;
    }
    return static_cast<int>(code);
}

std::optional<std::string> childPart() {
    std::vector<wchar_t> part(32768);
    const DWORD length =
        GetEnvironmentVariableW(L"ORVANE_RECORDS_CHILD", part.data(), static_cast<DWORD>(part.size()));
    if (length == 0 || length >= part.size()) {
        return std::nullopt;
    }
    return narrowText(std::wstring_view(part.data(), length));
}

} // namespace orvane::test
