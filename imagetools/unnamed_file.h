// A file without a name until it is complete: a process killed while writing it (Ctrl-C,
// SIGTERM) leaves nothing behind in the folder.
#pragma once

#include <string>

namespace orvane {

// Opens a new unnamed file for writing in folder ("" for the current one). Answers the
// descriptor, or -1 with errno set; EOPNOTSUPP when the file system has no unnamed files.
int openUnnamedFile(const std::string& folder);

// Gives the unnamed file fd the name path, which must not exist. Answers 0 or an errno.
int nameUnnamedFile(int fd, const std::string& path);

} // namespace orvane
