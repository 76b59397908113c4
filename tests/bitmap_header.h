// The bitmap header a host hands the driver, as the Windows test programs
// build it.
#pragma once

#include <windows.h>

namespace voxa::test {

inline BITMAPINFOHEADER BitmapHeader(LONG width, LONG height, WORD bits, DWORD compression) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = compression;
  return h;
}

}  // namespace voxa::test
