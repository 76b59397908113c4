// voxa.dll through the real compression manager: open, information, state,
// negotiation, close.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <vector>

#include "icm_test_support.h"

namespace voxa {
namespace {

BITMAPINFOHEADER Header(LONG width, LONG height, WORD bits, DWORD compression) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = compression;
  return h;
}

class IcmDriverTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::RegisterDriverDll()) << test::DriverDllPath();
    hic_ = ICOpen(ICTYPE_VIDEO, test::kVoxaHandler, ICMODE_COMPRESS);
    ASSERT_NE(hic_, nullptr) << "ICOpen failed for " << test::DriverDllPath();
  }
  void TearDown() override {
    if (hic_ != nullptr) {
      EXPECT_EQ(ICClose(hic_), ICERR_OK);
    }
  }
  HIC hic_ = nullptr;
};

TEST_F(IcmDriverTest, OpensInEveryModeAndLowerCase) {
  for (UINT mode : {ICMODE_QUERY, ICMODE_DECOMPRESS, ICMODE_FASTCOMPRESS}) {
    HIC hic = ICOpen(mmioFOURCC('v', 'i', 'd', 'c'), mmioFOURCC('v', 'o', 'x', 'a'), mode);
    ASSERT_NE(hic, nullptr) << mode;
    ICClose(hic);
  }
  EXPECT_EQ(ICOpen(ICTYPE_VIDEO, mmioFOURCC('V', 'O', 'X', 'B'), ICMODE_QUERY), nullptr);
}

TEST_F(IcmDriverTest, Information) {
  ICINFO info{};
  ASSERT_EQ(ICGetInfo(hic_, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.fccType, mmioFOURCC('V', 'I', 'D', 'C'));
  EXPECT_EQ(info.fccHandler, test::kVoxaHandler);
  EXPECT_EQ(info.dwVersion, 1u);
  EXPECT_EQ(info.dwVersionICM, static_cast<DWORD>(ICVERSION));
  EXPECT_STREQ(info.szName, L"VOXA");
  EXPECT_STREQ(info.szDescription, L"Brenmoor Y16 + Alpha RLE");
}

TEST_F(IcmDriverTest, StateRoundTrip) {
  ASSERT_EQ(ICGetStateSize(hic_), 4104);
  std::vector<char> state(4104);
  ASSERT_EQ(ICGetState(hic_, state.data(), 4104), ICERR_OK);
  EXPECT_EQ(std::memcmp(state.data(), "VOXA", 4), 0);
  // A fresh instance carries the process settings: a valid flag and, unless
  // the registry was edited, the default application first.
  int32_t flag;
  std::memcpy(&flag, state.data() + 4, 4);
  EXPECT_TRUE(flag == 0 || flag == 1);

  std::vector<char> mine(state);
  mine[4] = 1;
  std::strcpy(&mine[8], "HOST.EXE");
  EXPECT_EQ(ICSetState(hic_, mine.data(), 4104), 4100);
  ASSERT_EQ(ICGetState(hic_, state.data(), 4104), ICERR_OK);
  EXPECT_EQ(state, mine);
  std::memcpy(mine.data(), "QTZ1", 4);
  EXPECT_EQ(ICSetState(hic_, mine.data(), 4104), 0);
}

TEST_F(IcmDriverTest, Negotiation) {
  const BITMAPINFOHEADER bgra = Header(720, 576, 32, BI_RGB);
  EXPECT_EQ(ICCompressQuery(hic_, &bgra, nullptr), ICERR_OK);
  const BITMAPINFOHEADER narrow = Header(712, 576, 32, BI_RGB);
  EXPECT_EQ(ICCompressQuery(hic_, &narrow, nullptr), ICERR_BADFORMAT);

  EXPECT_EQ(ICCompressGetFormatSize(hic_, &bgra), 40);
  BITMAPINFOHEADER voxa{};
  ASSERT_EQ(ICCompressGetFormat(hic_, &bgra, &voxa), ICERR_OK);
  EXPECT_EQ(voxa.biCompression, test::kVoxaHandler);
  EXPECT_EQ(ICCompressQuery(hic_, &bgra, &voxa), ICERR_OK);
  EXPECT_EQ(ICCompressGetSize(hic_, &bgra, &voxa), 720 * 576 * 4 + 4096);

  EXPECT_EQ(ICDecompressQuery(hic_, &voxa, nullptr), ICERR_OK);
  const BITMAPINFOHEADER y16a = Header(720, 576, 24, mmioFOURCC('Y', '1', '6', 'A'));
  EXPECT_EQ(ICDecompressQuery(hic_, &voxa, &y16a), ICERR_OK);
  BITMAPINFOHEADER out{};
  ASSERT_EQ(ICDecompressGetFormat(hic_, &voxa, &out), ICERR_OK);
  EXPECT_EQ(out.biBitCount, 32);
  EXPECT_EQ(out.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(out.biSizeImage, 720u * 576u * 4u);
  const BITMAPINFOHEADER y16a_32 = Header(720, 576, 32, mmioFOURCC('Y', '1', '6', 'A'));
  EXPECT_EQ(ICDecompressQuery(hic_, &voxa, &y16a_32), ICERR_BADFORMAT);
}

// The manager finds the codec by its handler, as hosts that pick a
// decompressor for a format do.
TEST_F(IcmDriverTest, LocatedByFormat) {
  BITMAPINFOHEADER voxa = Header(64, 32, 32, test::kVoxaHandler);
  HIC hic = ICLocate(ICTYPE_VIDEO, 0, &voxa, nullptr, ICMODE_DECOMPRESS);
  ASSERT_NE(hic, nullptr);
  ICClose(hic);
}

}  // namespace
}  // namespace voxa
