// Why a port would not open, as the technician reads it, in one place for the job, the dialog
// and the command line: the words from text/, and for a busy port the program holding it
// (ModemManager with its remedy) where this user can see it.
#pragma once

#include "text/text_language.h"

#include <string>
#include <string_view>

namespace orvane {

// "Cannot open serial port ttyUSB0: the port is held by minicom (pid 4242): close it there
// first"; a permission error gives the remedy the node's group and mode allow. err is
// SerialLink::lastError().
std::string openFailureMessage(std::string_view port, int err, TextLanguage language);

} // namespace orvane
