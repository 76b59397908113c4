// The configuration dialog and the about box, both modal.
#pragma once

#include <windows.h>

#include "config/codec_settings.h"

namespace voxa {

// Edits `settings`, or the process settings when it is null; the record is
// overwritten only when the user confirms with OK, and the process settings
// are then saved to the registry.
void ShowConfigDialog(HWND parent, CodecSettings* settings);

// Shows the driver description and the build string.
INT_PTR ShowAboutBox(HWND parent);

}  // namespace voxa
