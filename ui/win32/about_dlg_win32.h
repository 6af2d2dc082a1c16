// The about box, template 100, shown modally over the main dialog.
#pragma once

#include <windows.h>

namespace orvane {

void showAboutBox(HWND owner);

} // namespace orvane
