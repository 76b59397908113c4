// One open registry key, closed by its destructor: every path out of a load
// or a save closes it.
#pragma once

#include <windows.h>

namespace voxa {

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  virtual ~RegistryKey();

  // Opens the key, or creates it when it cannot be opened. Closes whatever
  // key was held first.
  bool OpenOrCreate(HKEY root, const char* path, REGSAM access);
  void Close();
  // Reads at most `capacity` bytes; fails for a missing value or a longer one.
  bool ReadValue(const char* name, DWORD type, void* buffer, DWORD capacity);
  bool WriteValue(const char* name, DWORD type, const void* data, DWORD size);

 private:
  HKEY handle_ = nullptr;
  REGSAM access_ = 0;
};

}  // namespace voxa
