#include "config/registry_key.h"

namespace voxa {

RegistryKey::~RegistryKey() { Close(); }

bool RegistryKey::OpenOrCreate(HKEY root, const char* path, REGSAM access) {
  Close();
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, path, 0, access, &handle) != ERROR_SUCCESS) {
    handle = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
  }
  handle_ = handle;
  access_ = access;
  return true;
}

void RegistryKey::Close() {
  if (handle_ != nullptr) {
    RegCloseKey(handle_);
  }
  handle_ = nullptr;
  access_ = 0;
}

bool RegistryKey::ReadValue(const char* name, DWORD type, void* buffer, DWORD capacity) {
  if (handle_ == nullptr) {
    return false;
  }
  // The type and size the call hands back are not used: the stored type is
  // not checked, and the capacity bounds what gets copied.
  DWORD stored_type = type;
  DWORD size = capacity;
  return RegQueryValueExA(handle_, name, nullptr, &stored_type, static_cast<BYTE*>(buffer),
                          &size) == ERROR_SUCCESS;
}

bool RegistryKey::WriteValue(const char* name, DWORD type, const void* data, DWORD size) {
  if (handle_ == nullptr) {
    return false;
  }
  return RegSetValueExA(handle_, name, 0, type, static_cast<const BYTE*>(data), size) ==
         ERROR_SUCCESS;
}

}  // namespace voxa
