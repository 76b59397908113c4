// The entry of voxa.dll. The DLL links no C or C++ runtime: nothing runs at
// load or unload but this function, nothing registers itself, allocates or
// takes a thread-local index behind the driver's back, and there are no
// static constructors (every static object is constant-initialised; the
// build checks the objects for constructor sections). The name is the one
// the toolchain's linker takes as a DLL's entry.
#include <windows.h>

#include "driver/process_attach.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) voxa::ProcessAttach(module);
  // A reserved pointer means the process is ending, not FreeLibrary.
  if (reason == DLL_PROCESS_DETACH) voxa::ProcessDetach(reserved != nullptr);
  return TRUE;
}
