// ICM_GETINFO: what the driver says of itself.
#include "driver/driver_instance.h"

#include <cstring>

#include "driver/fourcc.h"
#include "driver/process_attach.h"
#include "resources/resource.h"

namespace voxa {
namespace {

constexpr DWORD kDriverVersion = 1;
constexpr int kStringBufferChars = 4096;

// A string resource widened with the ANSI code page, at most `capacity`
// characters with the terminator; all zero when the string cannot be loaded.
void LoadWideString(UINT id, WCHAR* member, int capacity) {
  char text[kStringBufferChars];
  std::memset(member, 0, capacity * sizeof(WCHAR));
  if (LoadStringA(ModuleHandle(), id, text, kStringBufferChars) <= 0) return;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, member, capacity) == 0) {
    std::memset(member, 0, capacity * sizeof(WCHAR));
  }
}

}  // namespace

LRESULT GetInfo(DriverInstance&, ICINFO* info, DWORD_PTR size) {
  if (info == nullptr || size < sizeof(ICINFO)) return 0;
  info->dwSize = sizeof(ICINFO);
  info->fccType = kFourccVidc;
  info->fccHandler = kFourccVoxa;
  info->dwFlags = 0;
  info->dwVersion = kDriverVersion;
  info->dwVersionICM = ICVERSION;
  LoadWideString(IDS_FOURCC, info->szName, ARRAYSIZE(info->szName));
  LoadWideString(IDS_DESCRIPTION, info->szDescription, ARRAYSIZE(info->szDescription));
  std::memset(info->szDriver, 0, sizeof info->szDriver);
  return sizeof(ICINFO);
}

}  // namespace voxa
