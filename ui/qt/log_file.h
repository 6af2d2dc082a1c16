// Log.txt in the current directory: created or cut to zero at start and held with an
// exclusive lock for the dialog's lifetime; nothing is ever written to it. A second instance
// in the same directory cannot take the lock, leaves the file alone and runs normally.
#pragma once

#include <QString>

namespace orvane {

class LockedLogFile {
  public:
    LockedLogFile() = default;
    ~LockedLogFile();
    LockedLogFile(const LockedLogFile&) = delete;
    LockedLogFile& operator=(const LockedLogFile&) = delete;

    // Opens path without truncating it, takes the exclusive lock without waiting and only
    // then cuts the file to zero. Answers whether the file is now held; a failure is not
    // reported further (a read-only folder or a second instance are normal). Anything but a
    // regular file (a FIFO, a device) is left alone at once, without waiting for a reader.
    bool open(const QString& path);
    bool isHeld() const { return fd_ >= 0; }
    void close();

  private:
    int fd_ = -1;
};

} // namespace orvane
