// voxa.dll as a guest: after it coded frames in a host's process, and after
// its guard caught a fault there, the host's own exceptions work as before,
// its last error survives them, and its own vectored handlers come first.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "bitmap_header.h"
#include "icm_test_support.h"
#include "page_end_buffer.h"
#include "test_frames.h"

namespace voxa {
namespace {

constexpr LONG kWidth = 64, kHeight = 32;
constexpr std::size_t kRawBytes = kWidth * kHeight * 4;
constexpr DWORD kHostException = 0xE0484F53;

// Memory the host reserves and commits a page at a time, on first touch.
struct Reserved {
  uint8_t* base = nullptr;
  std::size_t bytes = 0;
} g_reserved;

// The host's handler: it continues its own exception, and commits a page of
// its reserved memory that something touched.
LONG CALLBACK HostHandler(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD& r = *info->ExceptionRecord;
  if (r.ExceptionCode == kHostException) return EXCEPTION_CONTINUE_EXECUTION;
  if (r.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || r.NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  auto* address = reinterpret_cast<uint8_t*>(r.ExceptionInformation[1]);
  if (address < g_reserved.base || address >= g_reserved.base + g_reserved.bytes ||
      VirtualAlloc(address, 1, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}


class HostStateTest : public testing::Test {
 protected:
  void SetUp() override {
    // The host's handler is there before the codec is loaded, as in a host
    // that sets up its memory at start.
    handler_ = AddVectoredExceptionHandler(1, HostHandler);
    // The host's C++ runtime sets itself up at its first throw (and may
    // change the last error then): that is the host's own doing.
    try {
      throw std::runtime_error("the host's first");
    } catch (const std::runtime_error&) {
    }
    ASSERT_NE(handler_, nullptr);
    ASSERT_TRUE(test::RegisterDriverDll()) << test::DriverDllPath();
    hic_ = ICOpen(ICTYPE_VIDEO, test::kVoxaHandler, ICMODE_COMPRESS);
    ASSERT_NE(hic_, nullptr);
    raw_ = test::BitmapHeader(kWidth, kHeight, 32, BI_RGB);
    ASSERT_EQ(ICCompressGetFormat(hic_, &raw_, &voxa_), ICERR_OK);
    ASSERT_EQ(ICCompressBegin(hic_, &raw_, &voxa_), ICERR_OK);
  }
  void TearDown() override {
    if (hic_ != nullptr) ICClose(hic_);
    RemoveVectoredExceptionHandler(handler_);
  }

  // One frame of `pixels` (a picture whose header says nothing of its size).
  DWORD Compress(const uint8_t* pixels, std::vector<uint8_t>* frame) {
    BITMAPINFOHEADER out = voxa_;
    frame->assign(voxa_.biSizeImage, 0xEE);
    DWORD flags = 0, ckid = 0;
    const DWORD result = ICCompress(hic_, 0, &out, frame->data(), &raw_,
                                      const_cast<uint8_t*>(pixels), &ckid, &flags, 0, 0, 0,
                                      nullptr, nullptr);
    if (result == ICERR_OK) frame->resize(out.biSizeImage);
    return result;
  }

  PVOID handler_ = nullptr;
  HIC hic_ = nullptr;
  BITMAPINFOHEADER raw_{}, voxa_{};
};

TEST_F(HostStateTest, HostsExceptionsAfterFramesAndAfterACaughtFault) {
  const std::vector<uint8_t> transparent(kRawBytes, 0);
  std::vector<uint8_t> expected;
  ASSERT_EQ(Compress(transparent.data(), &expected), ICERR_OK);
  test::PageEndBuffer short_picture(kRawBytes / 2);

  for (bool after_fault : {false, true}) {
    const char* when = after_fault ? "after a caught fault" : "after a frame";
    std::vector<uint8_t> frame;
    if (after_fault) {
      ASSERT_EQ(Compress(short_picture.data(), &frame), ICERR_ERROR) << "the picture ends early";
    }

    SetLastError(1234);
    try {
      throw std::runtime_error("the host's own");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(GetLastError(), 1234u) << "a C++ throw and catch, " << when;

    SetLastError(1234);
    RaiseException(kHostException, 0, 0, nullptr);
    EXPECT_EQ(GetLastError(), 1234u) << "an exception the host's handler continued, " << when;

    // The picture lies in reserved memory the host's handler commits when
    // the codec first reads it: the frame codes as from committed memory.
    g_reserved.bytes = kRawBytes;
    g_reserved.base = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, kRawBytes, MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(g_reserved.base, nullptr);
    EXPECT_EQ(Compress(g_reserved.base, &frame), ICERR_OK) << "reserved pages, " << when;
    EXPECT_TRUE(frame == expected) << "reserved pages, " << when;
    VirtualFree(g_reserved.base, 0, MEM_RELEASE);
    g_reserved = Reserved{};
  }
}

}  // namespace
}  // namespace voxa
