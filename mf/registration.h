// What DllRegisterServer and DllUnregisterServer do, in the registry view of
// the DLL's bitness (each DLL is registered by the regsvr32 of its own): the
// class's InprocServer32 under HKEY_CLASSES_ROOT\CLSID (this DLL by its full
// path, any apartment), and its entry among Media Foundation's video decoders
// (MFTRegister: VOXA video in, ARGB32 and RGB32 out), which MFTEnumEx, the
// topology loader and the Source Reader search.
#pragma once

#include <windows.h>

namespace voxa::mf {

// S_OK, or the failure of the step that failed; then nothing of this
// registration is left (a class key that was there before stays).
HRESULT RegisterDecoder(HMODULE module);

// Removes both; S_OK also when either was not there.
HRESULT UnregisterDecoder();

}  // namespace voxa::mf
