// Registers a built voxa.dll with the compression manager of this process's
// registry view, so that ICOpen and avifil32 find it as any host would.
#pragma once

#include <windows.h>

#include <vfw.h>

#include <string>

namespace voxa {

const DWORD kVoxaHandler = mmioFOURCC('V', 'O', 'X', 'A');

// A path as Windows sees it: Unix paths (those of a build folder) are on
// Wine's drive Z; anything else is returned as it is.
inline std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return path;
}

// Writes vidc.VOXA = `dll_path` into Drivers32 of this process's registry
// view (the 32-bit view for a 32-bit process).
inline bool RegisterDriverDll(const std::string& dll_path) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", 0, nullptr,
                      0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG result = RegSetValueExA(key, "vidc.VOXA", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(dll_path.c_str()),
                                     static_cast<DWORD>(dll_path.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

}  // namespace voxa
