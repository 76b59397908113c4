// What the tests of the driver's messages share: headers, and a fixture
// holding one open instance, with the driver's logic linked into the test
// program.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include "bitmap_header.h"
#include "codec/frame_container.h"
#include "driver/driver_proc.h"
#include "driver/fourcc.h"
#include "driver/process_attach.h"

namespace voxa::test {

inline BITMAPINFOHEADER RawHeader(LONG width, LONG height,
                                  PixelFormat format = PixelFormat::kRgba32) {
  return format == PixelFormat::kRgba32 ? BitmapHeader(width, height, 32, BI_RGB)
                                        : BitmapHeader(width, height, 24, kFourccY16a);
}

inline BITMAPINFOHEADER CompressedHeader(LONG width, LONG height) {
  BITMAPINFOHEADER h = RawHeader(width, height);
  h.biCompression = kFourccVoxa;
  return h;
}

inline LRESULT SendTo(DWORD_PTR id, UINT message, LPARAM p1 = 0, LPARAM p2 = 0) {
  return DriverProc(id, nullptr, message, p1, p2);
}

inline LPARAM Ptr(const void* p) { return reinterpret_cast<LPARAM>(p); }

// DRV_OPEN as the compression manager sends it for a host.
inline DWORD_PTR OpenInstance() {
  ICOPEN open{};
  open.dwSize = sizeof open;
  open.fccType = kFourccVidc;
  open.fccHandler = kFourccVoxa;
  return static_cast<DWORD_PTR>(SendTo(0, DRV_OPEN, 0, Ptr(&open)));
}

class OpenInstanceTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ProcessAttach(GetModuleHandleA(nullptr)); }
  void SetUp() override {
    id_ = OpenInstance();
    ASSERT_NE(id_, 0u);
  }
  void TearDown() override { SendTo(id_, DRV_CLOSE); }

  LRESULT Send(UINT message, LPARAM p1 = 0, LPARAM p2 = 0) const {
    return SendTo(id_, message, p1, p2);
  }

  DWORD_PTR id_ = 0;
};

}  // namespace voxa::test
