#include "mf/class_factory.h"

#include "mf/decoder_transform.h"
#include "mf/server_module.h"

namespace voxa::mf {
namespace {

class ClassFactory final : public IClassFactory {
 public:
  constexpr ClassFactory() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: its references only count for the DLL.
  ULONG STDMETHODCALLTYPE AddRef() override {
    AddServerReference();
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ReleaseServerReference();
    return 1;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return DecoderTransform::Create(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      AddServerReference();
    } else {
      ReleaseServerReference();
    }
    return S_OK;
  }
};

ClassFactory g_factory;

}  // namespace

IClassFactory* DecoderClassFactory() { return &g_factory; }

}  // namespace voxa::mf
