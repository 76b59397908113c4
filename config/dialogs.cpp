// The dialog templates are not part of the library yet: both requests are
// accepted and change nothing.
#include "config/dialogs.h"

namespace voxa {

void ShowConfigDialog(HWND, CodecSettings*) {}

INT_PTR ShowAboutBox(HWND) { return IDOK; }

}  // namespace voxa
