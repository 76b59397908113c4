#include "mf/registration.h"

#include <mfapi.h>

#include "mf/transform_ids.h"

namespace voxa::mf {
namespace {

constexpr wchar_t kClassesKey[] = L"CLSID\\";
constexpr int kGuidChars = 39;  // "{...}" and its terminator
// COM may create the transform in any apartment: it takes its own lock.
constexpr wchar_t kThreadingModel[] = L"Both";

// HKEY_CLASSES_ROOT\CLSID\{class}.
struct ClassKeyPath {
  wchar_t text[sizeof kClassesKey / sizeof kClassesKey[0] + kGuidChars] = {};
  ClassKeyPath() {
    lstrcpyW(text, kClassesKey);
    StringFromGUID2(kDecoderClsid, text + lstrlenW(kClassesKey), kGuidChars);
  }
};

// One open key, closed by its destructor.
class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }
  LONG Create(HKEY parent, const wchar_t* path) {
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_WRITE, nullptr, &handle_, nullptr);
  }
  LONG SetString(const wchar_t* name, const wchar_t* value) {
    const DWORD bytes = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t));
    return RegSetValueExW(handle_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  }
  HKEY get() const { return handle_; }

 private:
  HKEY handle_ = nullptr;
};

bool KeyExists(const wchar_t* path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

LONG WriteClassKey(const wchar_t* path, const wchar_t* dll) {
  Key key, server;
  LONG result = key.Create(HKEY_CLASSES_ROOT, path);
  if (result == ERROR_SUCCESS) result = key.SetString(nullptr, kDecoderName);
  if (result == ERROR_SUCCESS) result = server.Create(key.get(), L"InprocServer32");
  if (result == ERROR_SUCCESS) result = server.SetString(nullptr, dll);
  if (result == ERROR_SUCCESS) result = server.SetString(L"ThreadingModel", kThreadingModel);
  return result;
}

// The macro HRESULT_FROM_WIN32 would call twice what it is given.
HRESULT FromWin32(LONG error) { return HRESULT_FROM_WIN32(error); }

bool Missing(HRESULT result) { return result == FromWin32(ERROR_FILE_NOT_FOUND); }

}  // namespace

HRESULT RegisterDecoder(HMODULE module) {
  wchar_t dll[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, dll, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FromWin32(ERROR_BAD_PATHNAME);
  const ClassKeyPath path;
  const bool existed = KeyExists(path.text);
  HRESULT result = FromWin32(WriteClassKey(path.text, dll));
  if (SUCCEEDED(result)) {
    MFT_REGISTER_TYPE_INFO input = {MFMediaType_Video, kVoxaSubtype};
    MFT_REGISTER_TYPE_INFO outputs[] = {{MFMediaType_Video, MFVideoFormat_ARGB32},
                                        {MFMediaType_Video, MFVideoFormat_RGB32}};
    // Flags 0: a synchronous transform.
    result = MFTRegister(kDecoderClsid, MFT_CATEGORY_VIDEO_DECODER,
                         const_cast<LPWSTR>(kDecoderName), 0, 1, &input,
                         sizeof outputs / sizeof outputs[0], outputs, nullptr);
  }
  if (FAILED(result) && !existed) RegDeleteTreeW(HKEY_CLASSES_ROOT, path.text);
  return result;
}

HRESULT UnregisterDecoder() {
  HRESULT result = MFTUnregister(kDecoderClsid);
  if (Missing(result)) result = S_OK;
  const HRESULT removed = FromWin32(RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyPath().text));
  if (SUCCEEDED(result) && !Missing(removed)) result = removed;
  return result;
}

}  // namespace voxa::mf
