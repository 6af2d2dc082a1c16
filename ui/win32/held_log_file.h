// Log.txt in the working folder: created or cut to zero at start and held without sharing for
// the dialog's lifetime; nothing is ever written to it. A second instance in the same folder
// cannot open it and runs normally all the same.
#pragma once

#include <windows.h>

namespace orvane {

class HeldLogFile {
  public:
    HeldLogFile() = default;
    ~HeldLogFile();
    HeldLogFile(const HeldLogFile&) = delete;
    HeldLogFile& operator=(const HeldLogFile&) = delete;

    // Answers whether the file is now held; a failure is not reported further.
    bool open(const wchar_t* path);
    bool isHeld() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace orvane
