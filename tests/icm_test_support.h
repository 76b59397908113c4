// Registers the built voxa.dll with the compression manager of the test's
// Wine prefix, so that ICOpen finds it as any host would.
#pragma once

#include <windows.h>

#include <vfw.h>

#include <string>

namespace voxa::test {

const DWORD kVoxaHandler = mmioFOURCC('V', 'O', 'X', 'A');

// The DLL's path as Windows sees it: build paths are Unix paths, which Wine
// shows on drive Z.
inline std::string DriverDllPath() {
  std::string path = VOXA_DLL_PATH;
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return path;
}

// Writes vidc.VOXA into Drivers32 of this process's registry view.
inline bool RegisterDriverDll() {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", 0, nullptr,
                      0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::string path = DriverDllPath();
  const LONG result = RegSetValueExA(key, "vidc.VOXA", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(path.c_str()),
                                     static_cast<DWORD>(path.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

}  // namespace voxa::test
