// voxa.dll through the real compression manager: open, information, state,
// negotiation, close.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/frame_codec.h"
#include "bitmap_header.h"
#include "icm_test_support.h"
#include "kernel_variants.h"
#include "test_frames.h"

namespace voxa {
namespace {

constexpr auto& Header = test::BitmapHeader;

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

// Whole frames through ICCompress and ICDecompress: the bytes and pictures
// the codec core writes with `core`, the key-frame flag, and the coder's
// lifecycle.
void CompressAndDecompressFrames(HIC hic, const FieldKernels& core) {
  for (bool y16a : {false, true}) {
    const LONG w = 720, h = 577;
    const FrameFormat f{y16a ? PixelFormat::kY16a : PixelFormat::kRgba32, w, h};
    BITMAPINFOHEADER raw = Header(w, h, y16a ? 24 : 32, y16a ? mmioFOURCC('Y', '1', '6', 'A') : BI_RGB);
    test::Random random(y16a ? 17 : 19);
    std::vector<uint8_t> pixels = random.Bytes(RawFrameBytes(f.format, f.width, f.height));
    std::vector<uint8_t> expected(MaxCompressedFrameBytes(f.width, f.height));
    expected.resize(EncodeFrame(f, pixels.data(), expected.data(), core));

    BITMAPINFOHEADER voxa{};
    ASSERT_EQ(ICCompressGetFormat(hic, &raw, &voxa), ICERR_OK);
    const DWORD bound = voxa.biSizeImage;
    std::vector<uint8_t> frame;
    // Without a begin (as DirectShow's AVI Compressor sends frames) and after
    // one: the same frame.
    for (bool begun : {false, true}) {
      if (begun) {
        ASSERT_EQ(ICCompressBegin(hic, &raw, &voxa), ICERR_OK);
      }
      frame.assign(bound, 0xEE);
      DWORD flags = 0, ckid = 0;
      voxa.biSizeImage = bound;
      ASSERT_EQ(ICCompress(hic, 0, &voxa, frame.data(), &raw, pixels.data(), &ckid, &flags, 0, 0,
                           0, nullptr, nullptr),
                ICERR_OK)
          << "begun " << begun;
      EXPECT_EQ(flags, static_cast<DWORD>(AVIIF_KEYFRAME));
      ASSERT_EQ(voxa.biSizeImage, expected.size());
      frame.resize(voxa.biSizeImage);
      EXPECT_EQ(frame, expected) << "begun " << begun;
    }
    EXPECT_EQ(ICCompressEnd(hic), ICERR_OK);

    std::vector<uint8_t> want(pixels.size(), 0x5C), got(pixels.size(), 0x5C);
    DecodeFrame(f, frame.data(), frame.size(), want.data(), core);
    ASSERT_EQ(ICDecompressBegin(hic, &voxa, &raw), ICERR_OK);
    ASSERT_EQ(ICDecompress(hic, 0, &voxa, frame.data(), &raw, got.data()), ICERR_OK);
    EXPECT_EQ(got, want);
    // A cut frame decodes as far as it goes and says so.
    voxa.biSizeImage -= 100;
    EXPECT_EQ(ICDecompress(hic, 0, &voxa, frame.data(), &raw, got.data()), ICERR_ERROR);
    EXPECT_EQ(ICDecompressEnd(hic), ICERR_OK);
    // A frame after the end begins again by itself.
    voxa.biSizeImage += 100;
    got.assign(pixels.size(), 0x5C);
    EXPECT_EQ(ICDecompress(hic, 0, &voxa, frame.data(), &raw, got.data()), ICERR_OK);
    EXPECT_EQ(got, want);
  }
}

// ICDecompressEx over rectangles that cover the whole frame decodes what
// ICDecompress does, into bottom-up and top-down pictures; any other
// rectangle is refused by the query, the begin and the frame alike.
TEST_F(IcmDriverTest, DecompressExOverTheWholeFrame) {
  const LONG w = 64, h = 32;
  const FrameFormat f{PixelFormat::kRgba32, w, h};
  test::Random random(29);
  const std::vector<uint8_t> pixels = random.Bytes(w * h * 4);
  const FieldKernels installed = KernelsOfVariant(InstalledVariant());
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(w, h)), want(pixels.size());
  frame.resize(EncodeFrame(f, pixels.data(), frame.data(), installed));
  DecodeFrame(f, frame.data(), frame.size(), want.data(), installed);
  std::vector<uint8_t> want_top_down(want.size());
  for (LONG y = 0; y < h; ++y) {
    std::memcpy(&want_top_down[y * w * 4], &want[(h - 1 - y) * w * 4], w * 4);
  }
  BITMAPINFOHEADER voxa = Header(w, h, 32, test::kVoxaHandler);
  voxa.biSizeImage = static_cast<DWORD>(frame.size());
  const struct {
    const char* name;
    LONG dst_height;
    int x, y, dx, dy;  // the same rectangle on both sides
    LRESULT result;
  } cases[] = {
      {"whole", h, 0, 0, w, h, ICERR_OK},
      {"whole, top-down", -h, 0, 0, w, h, ICERR_OK},
      {"offset", h, 16, 0, w - 16, h, ICERR_BADFORMAT},
      {"part", h, 0, 0, w, h / 2, ICERR_BADFORMAT},
      {"larger", h, 0, 0, w, h + 2, ICERR_BADFORMAT},
      {"empty", h, 0, 0, 0, 0, ICERR_BADFORMAT},
  };
  for (const auto& c : cases) {
    BITMAPINFOHEADER raw = Header(w, c.dst_height, 32, BI_RGB);
    std::vector<uint8_t> got(pixels.size(), 0x5C);
    EXPECT_EQ(ICDecompressExQuery(hic_, 0, &voxa, nullptr, c.x, c.y, c.dx, c.dy, &raw, nullptr,
                                  c.x, c.y, c.dx, c.dy),
              c.result)
        << c.name;
    EXPECT_EQ(ICDecompressExBegin(hic_, 0, &voxa, nullptr, c.x, c.y, c.dx, c.dy, &raw, nullptr,
                                  c.x, c.y, c.dx, c.dy),
              c.result)
        << c.name;
    EXPECT_EQ(ICDecompressEx(hic_, 0, &voxa, frame.data(), c.x, c.y, c.dx, c.dy, &raw, got.data(),
                             c.x, c.y, c.dx, c.dy),
              c.result)
        << c.name;
    const std::vector<uint8_t>& expected =
        c.result != ICERR_OK ? std::vector<uint8_t>(got.size(), 0x5C)
                             : c.dst_height < 0 ? want_top_down : want;
    EXPECT_TRUE(got == expected) << c.name;
    EXPECT_EQ(ICDecompressExEnd(hic_), ICERR_OK);
  }
}

// With the kernels the driver installs on this processor.
TEST_F(IcmDriverTest, CompressAndDecompressFrames) {
  CompressAndDecompressFrames(hic_, KernelsOfVariant(InstalledVariant()));
}

// A driver running AVX2 kernels writes and decodes the SSE2 kernels' bytes.
TEST_F(IcmDriverTest, Avx2FramesAreTheSse2Frames) {
  if (InstalledVariant() != KernelVariant::kAvx2) {
    ASSERT_TRUE(test::MayLackVariant(KernelVariant::kAvx2));
    GTEST_SKIP() << "the driver does not run AVX2 kernels here (processor class "
                 << DetectCpuClass() << ")";
  }
  CompressAndDecompressFrames(hic_, KernelsOfVariant(KernelVariant::kSse2));
}

}  // namespace
}  // namespace voxa
