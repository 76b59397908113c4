// icopen_probe: does an installed voxa codec open for a program of this
// bitness? It asks the compression manager exactly as a host would,
// ICOpen(ICTYPE_VIDEO, 'VOXA', ICMODE_QUERY), and registers nothing itself:
// whatever it finds was put there by an installer.
//
//   icopen_probe
//
// Exit status 0 when ICOpen succeeds and the driver that opened says it is
// VOXA (ICM_GETINFO), 1 when ICOpen fails, 2 when something opened but is not
// the VOXA driver.
#include <windows.h>

#include <vfw.h>

#include <cstdio>

namespace {

constexpr DWORD kVoxa = mmioFOURCC('V', 'O', 'X', 'A');

void PrintFourcc(DWORD fourcc) {
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xff);
    std::putchar(c >= 32 && c < 127 ? c : '?');
  }
}

}  // namespace

int main() {
  const int bits = static_cast<int>(sizeof(void*) * 8);
  HIC hic = ICOpen(ICTYPE_VIDEO, kVoxa, ICMODE_QUERY);
  if (hic == nullptr) {
    std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA) failed: the codec is not installed for %d-bit programs\n",
                bits, bits);
    return 1;
  }
  ICINFO info{};
  const LRESULT size = ICGetInfo(hic, &info, sizeof info);
  ICClose(hic);
  if (size != static_cast<LRESULT>(sizeof info) || info.fccHandler != kVoxa) {
    std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA) opened a driver that is not VOXA (ICGetInfo size %ld, handler ",
                bits, static_cast<long>(size));
    PrintFourcc(info.fccHandler);
    std::printf(")\n");
    return 2;
  }
  char description[128] = {};
  WideCharToMultiByte(CP_ACP, 0, info.szDescription, -1, description, sizeof description, nullptr,
                      nullptr);
  std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA) succeeded: \"%s\"\n", bits, description);
  return 0;
}
