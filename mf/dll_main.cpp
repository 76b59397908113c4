// The entry of voxamf.dll. Like voxa.dll it links no C or C++ runtime:
// nothing runs at load or unload but this function, which notes the module
// for the registration, so that hosts may load and unload the server as
// often as COM likes without losing memory or thread-local indexes.
#include <windows.h>

#include "mf/server_module.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    voxa::mf::SetServerModule(module);
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
