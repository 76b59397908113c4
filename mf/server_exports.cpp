// The four functions of an in-process COM server, voxamf.dll's only exports.
#include <windows.h>

#include <olectl.h>

#include "mf/class_factory.h"
#include "mf/registration.h"
#include "mf/server_module.h"
#include "mf/transform_ids.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, voxa::mf::kDecoderClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return voxa::mf::DecoderClassFactory()->QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return voxa::mf::ServerInUse() ? S_FALSE : S_OK; }

STDAPI DllRegisterServer() { return voxa::mf::RegisterDecoder(voxa::mf::ServerModule()); }

STDAPI DllUnregisterServer() { return voxa::mf::UnregisterDecoder(); }
