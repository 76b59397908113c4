// The process hook of voxa.dll.
#include <windows.h>

#include "driver/process_attach.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) voxa::ProcessAttach(module);
  if (reason == DLL_PROCESS_DETACH) voxa::ProcessDetach();
  return TRUE;
}
