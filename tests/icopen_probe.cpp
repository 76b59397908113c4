// icopen_probe: does an installed voxa codec open, and code, for a program
// of this bitness? It asks the compression manager exactly as a host would,
// ICOpen(ICTYPE_VIDEO, 'VOXA', ...), and registers nothing itself: whatever
// it finds was put there by an installer.
//
//   icopen_probe [--code] [--hold FILE]
//
// --code        also compresses one 64x16 BGRA frame (the left half fully
//               transparent, the right half opaque colours) with
//               ICCompress and decompresses it with ICDecompress: the frame
//               must be a VOXA frame ("QTZ1") smaller than the picture, and
//               the picture must come back (alpha exact, colours within a
//               small rounding error of the luma/chroma conversion).
// --hold FILE   keeps the codec open (and so voxa.dll loaded) until FILE is
//               deleted: writes FILE once the codec is open, then waits for
//               it to disappear (at most 10 minutes). An installer run
//               meanwhile finds the DLL in use.
//
// Exit status 0 when everything asked for worked, 1 when ICOpen fails, 2
// when something opened but is not the VOXA driver, 3 when the frame did
// not code or decode as it should, 4 for a bad command line or a failed
// hold.
#include <windows.h>

#include <vfw.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/bitmap_header.h"

namespace {

constexpr DWORD kVoxa = mmioFOURCC('V', 'O', 'X', 'A');
const int kBits = static_cast<int>(sizeof(void*) * 8);

void PrintFourcc(DWORD fourcc) {
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xff);
    std::putchar(c >= 32 && c < 127 ? c : '?');
  }
}

// The largest difference of a colour channel allowed after a round trip
// through the codec's luma/chroma: rounding, not coding errors (a wrong
// channel order or a lost line is off by far more).
constexpr int kColourTolerance = 6;

// One frame there and back through the installed codec. Prints what went
// wrong and returns false, or prints the sizes and returns true.
bool CodeOneFrame() {
  const LONG width = 64, height = 16;
  BITMAPINFOHEADER raw = voxa::test::BitmapHeader(width, height, 32, BI_RGB);
  raw.biSizeImage = width * height * 4;
  std::vector<unsigned char> picture(raw.biSizeImage);
  for (LONG y = 0; y < height; ++y) {
    for (LONG x = 0; x < width; ++x) {
      unsigned char* p = &picture[(y * width + x) * 4];
      if (x < width / 2) {
        std::memset(p, 0, 4);  // fully transparent: a run, no pixels
      } else {
        // Soft colours, as in a title: little chroma between neighbours,
        // which share theirs.
        p[0] = static_cast<unsigned char>(60 + x);       // B
        p[1] = static_cast<unsigned char>(180 - 4 * y);  // G
        p[2] = static_cast<unsigned char>(100 + x);      // R
        p[3] = 255;
      }
    }
  }

  HIC hic = ICOpen(ICTYPE_VIDEO, kVoxa, ICMODE_COMPRESS);
  if (hic == nullptr) {
    std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA, ICMODE_COMPRESS) failed\n", kBits);
    return false;
  }
  BITMAPINFOHEADER voxa{};
  std::vector<unsigned char> frame;
  DWORD flags = 0, ckid = 0;
  LRESULT result = ICCompressGetFormat(hic, &raw, &voxa);
  if (result == ICERR_OK && voxa.biCompression == kVoxa && voxa.biSizeImage > 0) {
    frame.assign(voxa.biSizeImage, 0);
    result = ICCompressBegin(hic, &raw, &voxa);
    if (result == ICERR_OK) {
      result = ICCompress(hic, 0, &voxa, frame.data(), &raw, picture.data(), &ckid, &flags, 0, 0, 0,
                          nullptr, nullptr);
      ICCompressEnd(hic);
    }
  } else if (result == ICERR_OK) {
    result = ICERR_BADFORMAT;
  }
  ICClose(hic);
  if (result != ICERR_OK) {
    std::printf("icopen_probe (%d-bit): compressing a %ldx%ld BGRA frame failed (%ld)\n", kBits,
                static_cast<long>(width), static_cast<long>(height), static_cast<long>(result));
    return false;
  }
  const DWORD frame_size = voxa.biSizeImage;
  if (frame_size < 4 || frame_size >= raw.biSizeImage || frame_size > frame.size() ||
      std::memcmp(frame.data(), "QTZ1", 4) != 0) {
    std::printf("icopen_probe (%d-bit): the compressed frame is no VOXA frame (%lu bytes)\n", kBits,
                static_cast<unsigned long>(frame_size));
    return false;
  }

  hic = ICOpen(ICTYPE_VIDEO, kVoxa, ICMODE_DECOMPRESS);
  if (hic == nullptr) {
    std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA, ICMODE_DECOMPRESS) failed\n", kBits);
    return false;
  }
  std::vector<unsigned char> back(picture.size(), 0x5C);
  result = ICDecompressBegin(hic, &voxa, &raw);
  if (result == ICERR_OK) {
    result = ICDecompress(hic, 0, &voxa, frame.data(), &raw, back.data());
    ICDecompressEnd(hic);
  }
  ICClose(hic);
  if (result != ICERR_OK) {
    std::printf("icopen_probe (%d-bit): decompressing the frame failed (%ld)\n", kBits,
                static_cast<long>(result));
    return false;
  }
  int worst = 0;
  for (size_t i = 0; i < picture.size(); i += 4) {
    if (back[i + 3] != picture[i + 3]) {
      std::printf("icopen_probe (%d-bit): pixel %lu decoded with alpha %d, not %d\n", kBits,
                  static_cast<unsigned long>(i / 4), back[i + 3], picture[i + 3]);
      return false;
    }
    if (picture[i + 3] == 0) {
      continue;  // no colour to keep
    }
    for (size_t c = 0; c < 3; ++c) {
      const int d = std::abs(static_cast<int>(back[i + c]) - static_cast<int>(picture[i + c]));
      if (d > worst) {
        worst = d;
      }
    }
  }
  if (worst > kColourTolerance) {
    std::printf("icopen_probe (%d-bit): the decoded picture differs by up to %d in a colour (allowed %d)\n",
                kBits, worst, kColourTolerance);
    return false;
  }
  std::printf("icopen_probe (%d-bit): coded a %ldx%ld frame into %lu bytes and back (colours within %d)\n",
              kBits, static_cast<long>(width), static_cast<long>(height),
              static_cast<unsigned long>(frame_size), worst);
  return true;
}

// Writes `file`, then waits until someone deletes it.
bool HoldUntilDeleted(const char* file) {
  HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::printf("icopen_probe (%d-bit): cannot write %s\n", kBits, file);
    return false;
  }
  CloseHandle(h);
  std::printf("icopen_probe (%d-bit): holding the codec open until %s is deleted\n", kBits, file);
  std::fflush(stdout);
  for (int waited = 0; waited < 10 * 60 * 20; ++waited) {
    if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) {
      return true;
    }
    Sleep(50);
  }
  std::printf("icopen_probe (%d-bit): %s was not deleted within 10 minutes\n", kBits, file);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  bool code = false;
  const char* hold = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--code") == 0) {
      code = true;
    } else if (std::strcmp(argv[i], "--hold") == 0 && i + 1 < argc) {
      hold = argv[++i];
    } else {
      std::printf("usage: icopen_probe [--code] [--hold FILE]\n");
      return 4;
    }
  }

  HIC hic = ICOpen(ICTYPE_VIDEO, kVoxa, ICMODE_QUERY);
  if (hic == nullptr) {
    std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA) failed: the codec is not installed for %d-bit programs\n",
                kBits, kBits);
    return 1;
  }
  ICINFO info{};
  const LRESULT size = ICGetInfo(hic, &info, sizeof info);
  if (size != static_cast<LRESULT>(sizeof info) || info.fccHandler != kVoxa) {
    ICClose(hic);
    std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA) opened a driver that is not VOXA (ICGetInfo size %ld, handler ",
                kBits, static_cast<long>(size));
    PrintFourcc(info.fccHandler);
    std::printf(")\n");
    return 2;
  }
  char description[128] = {};
  WideCharToMultiByte(CP_ACP, 0, info.szDescription, -1, description, sizeof description, nullptr,
                      nullptr);
  std::printf("icopen_probe (%d-bit): ICOpen(vidc, VOXA) succeeded: \"%s\"\n", kBits, description);

  int status = 0;
  if (code && !CodeOneFrame()) {
    status = 3;
  }
  // The query instance stays open while holding: the DLL stays loaded.
  if (status == 0 && hold != nullptr && !HoldUntilDeleted(hold)) {
    status = 4;
  }
  ICClose(hic);
  return status;
}
