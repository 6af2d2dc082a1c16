// The exit statuses scripts and production lines rely on; they never change meaning.
#pragma once

namespace orvane {

enum ExitCode : int {
    exitSuccess = 0,       // "Update was successful !", or the command did what it was asked
    exitFailed = 1,        // the upgrade failed, or a merge or package input was bad
    exitUsage = 2,         // the command line itself was wrong
    exitUnusable = 3,      // the image file or the serial port could not be used
    exitInterrupted = 130, // Ctrl-C: 128 + SIGINT, as shells report it
};

} // namespace orvane
