// Share mode 0 is the hold: nobody else opens the file while the handle lives.
#include "ui/win32/held_log_file.h"

namespace orvane {

HeldLogFile::~HeldLogFile() {
    if (isHeld()) {
        CloseHandle(handle_);
    }
}

bool HeldLogFile::open(const wchar_t* path) {
    if (!isHeld()) {
        handle_ = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return isHeld();
}

} // namespace orvane
