// The entry of voxamf.dll. Like voxa.dll it links no C or C++ runtime:
// nothing runs at load or unload but this function, which notes the module
// for the registration. COM loads and unloads the server as its hosts come
// and go; no runtime takes a thread-local index or heap at each load.
#include <windows.h>

#include "mf/server_module.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    voxa::mf::SetServerModule(module);
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
