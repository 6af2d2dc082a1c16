// The readers of --scan: each reads its scanner on a thread of its own until it goes, and
// hands on the lines read as a LabelSource.
#pragma once

#include "station/label_source.h"
#include "text/text_language.h"

#include <functional>
#include <memory>
#include <string>

namespace orvane {

// A scanner that types like a keyboard, on standard input. Where that is a terminal its echo
// is off while the reader lives (a label typed must not break the rows redrawn in place), and
// put back as it was when the reader goes. Standard input's end ends the reading only.
std::unique_ptr<LabelSource> readStandardInput();

// A scanner that is a serial device of its own, at bps. One that cannot be opened now answers
// null with why in error. Lost later (pulled out), it is opened again once a second until it
// answers; say hears of the loss and of the return (on the reader's thread).
std::unique_ptr<LabelSource> readScanDevice(const std::string& device, int bps, TextLanguage language,
                                            std::function<void(const std::string&)> say, std::string& error);

} // namespace orvane
