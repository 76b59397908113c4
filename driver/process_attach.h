// What the library does when a process loads and unloads it.
#pragma once

#include <windows.h>

namespace voxa {

// Creates the private heap, keeps the module handle and loads the process
// settings, installing and saving the defaults when the registry holds none.
void ProcessAttach(HINSTANCE module);
// Destroys the private heap with whatever is still in it. When the library
// is unloaded from a process that goes on (not at the process's end), the
// instances a host left open are deleted first, their locks with them.
void ProcessDetach(bool process_ending);

// The library's own module, for its string, dialog and version resources.
HINSTANCE ModuleHandle();

}  // namespace voxa
