// The five negotiation messages, through DriverProc, in their order of checks.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <string>

#include "bitmap_header.h"
#include "driver/driver_proc.h"
#include "driver/fourcc.h"
#include "driver/process_attach.h"

namespace voxa {
namespace {

const DWORD kVoxa = MakeFourcc('v', 'o', 'x', 'a');
const DWORD kY16a = MakeFourcc('Y', '1', '6', 'A');
const DWORD kY16aLower = MakeFourcc('y', '1', '6', 'a');

// With members the proposals must copy as they are.
BITMAPINFOHEADER Header(LONG width, LONG height, WORD bits, DWORD compression) {
  BITMAPINFOHEADER h = test::BitmapHeader(width, height, bits, compression);
  h.biSizeImage = 12345;
  h.biXPelsPerMeter = 77;
  return h;
}

class NegotiationTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ProcessAttach(GetModuleHandleA(nullptr)); }
  void SetUp() override {
    ICOPEN open{};
    open.fccType = ICTYPE_VIDEO;
    open.fccHandler = kFourccVoxa;
    id_ = static_cast<DWORD_PTR>(DriverProc(0, nullptr, DRV_OPEN, 0, reinterpret_cast<LPARAM>(&open)));
    ASSERT_NE(id_, 0u);
  }
  void TearDown() override { DriverProc(id_, nullptr, DRV_CLOSE, 0, 0); }

  LRESULT Send(UINT message, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    return DriverProc(id_, nullptr, message, reinterpret_cast<LPARAM>(in),
                      reinterpret_cast<LPARAM>(out));
  }

  DWORD_PTR id_ = 0;
};

struct QueryCase {
  const char* name;
  BITMAPINFOHEADER in;
  bool has_out;
  BITMAPINFOHEADER out;
  LRESULT result;
};

BITMAPINFOHEADER WithSize(BITMAPINFOHEADER h, DWORD size) {
  h.biSize = size;
  return h;
}

const BITMAPINFOHEADER kBgra = Header(720, 576, 32, BI_RGB);
const BITMAPINFOHEADER kVoxaOut = Header(720, 576, 32, kVoxa);

TEST_F(NegotiationTest, CompressQuery) {
  const QueryCase cases[] = {
      {"bgra_no_output", kBgra, false, {}, ICERR_OK},
      {"y16a_lower_case", Header(720, 576, 24, kY16aLower), false, {}, ICERR_OK},
      {"header_39_bytes", WithSize(kBgra, 39), false, {}, ICERR_BADSIZE},
      {"width_712", Header(712, 576, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"width_0", Header(0, 576, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"width_0_height_int_min", Header(0, INT32_MIN, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"top_down_height_int_min", Header(16, INT32_MIN, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"rgb_24_bits", Header(720, 576, 24, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"y16a_32_bits", Header(720, 576, 32, kY16a), false, {}, ICERR_BADFORMAT},
      {"bitfields", Header(720, 576, 32, BI_BITFIELDS), false, {}, ICERR_BADFORMAT},
      {"negative_width", Header(-16, 576, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"top_down", Header(720, -576, 32, BI_RGB), false, {}, ICERR_OK},
      {"top_down_y16a", Header(720, -576, 24, kY16a), false, {}, ICERR_BADFORMAT},
      {"top_down_output", Header(720, -576, 32, BI_RGB), true, kVoxaOut, ICERR_OK},
      {"top_down_both", Header(720, -576, 32, BI_RGB), true, Header(720, -576, 32, kVoxa),
       ICERR_BADFORMAT},
      {"top_down_bound_overflows", Header(32768, -16384, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"odd_and_zero_height", Header(16, 577, 32, BI_RGB), false, {}, ICERR_OK},
      {"size_bound_fits", Header(32768, 16383, 32, BI_RGB), false, {}, ICERR_OK},
      {"size_bound_overflows", Header(32768, 16384, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"voxa_output", kBgra, true, kVoxaOut, ICERR_OK},
      {"output_39_bytes", kBgra, true, WithSize(kVoxaOut, 39), ICERR_BADFORMAT},
      {"output_not_voxa", kBgra, true, Header(720, 576, 32, BI_RGB), ICERR_BADFORMAT},
      {"output_height_575", kBgra, true, Header(720, 575, 32, kVoxa), ICERR_BADFORMAT},
      {"output_width_704", kBgra, true, Header(704, 576, 32, kVoxa), ICERR_BADFORMAT},
      {"output_bits_ignored", kBgra, true, Header(720, 576, 7, kVoxa), ICERR_OK},
      // The first failing test decides.
      {"bad_size_before_format", WithSize(Header(712, 576, 24, BI_RGB), 8), true, kVoxaOut,
       ICERR_BADSIZE},
  };
  for (const QueryCase& c : cases) {
    EXPECT_EQ(Send(ICM_COMPRESS_QUERY, &c.in, c.has_out ? &c.out : nullptr), c.result) << c.name;
  }
  EXPECT_EQ(Send(ICM_COMPRESS_QUERY, nullptr, nullptr), ICERR_MEMORY);
}

TEST_F(NegotiationTest, DecompressQuery) {
  const BITMAPINFOHEADER voxa_in = Header(720, 576, 24, kVoxa);
  const QueryCase cases[] = {
      {"no_output", voxa_in, false, {}, ICERR_OK},
      {"any_bit_count", Header(720, 576, 0, kVoxa), false, {}, ICERR_OK},
      {"header_39_bytes", WithSize(voxa_in, 39), false, {}, ICERR_BADSIZE},
      {"not_voxa", Header(720, 576, 32, BI_RGB), false, {}, ICERR_BADFORMAT},
      {"width_712", Header(712, 576, 24, kVoxa), false, {}, ICERR_BADFORMAT},
      {"width_0", Header(0, 576, 24, kVoxa), false, {}, ICERR_BADFORMAT},
      {"top_down", Header(720, -576, 24, kVoxa), false, {}, ICERR_BADFORMAT},
      {"bgra_output", voxa_in, true, kBgra, ICERR_OK},
      {"top_down_bgra_output", voxa_in, true, Header(720, -576, 32, BI_RGB), ICERR_OK},
      {"top_down_y16a_output", voxa_in, true, Header(720, -576, 24, kY16a), ICERR_BADFORMAT},
      {"y16a_output", voxa_in, true, Header(720, 576, 24, kY16aLower), ICERR_OK},
      {"y16a_32_bit_output", voxa_in, true, Header(720, 576, 32, kY16a), ICERR_BADFORMAT},
      {"output_39_bytes", voxa_in, true, WithSize(kBgra, 39), ICERR_BADFORMAT},
      {"output_height_differs", voxa_in, true, Header(720, 288, 32, BI_RGB), ICERR_BADFORMAT},
  };
  for (const QueryCase& c : cases) {
    EXPECT_EQ(Send(ICM_DECOMPRESS_QUERY, &c.in, c.has_out ? &c.out : nullptr), c.result) << c.name;
  }
  EXPECT_EQ(Send(ICM_DECOMPRESS_QUERY, nullptr, &kBgra), ICERR_MEMORY);
}

TEST_F(NegotiationTest, CompressGetFormatAndSize) {
  // A null output asks for the format's size, once the input is one the
  // codec takes.
  EXPECT_EQ(Send(ICM_COMPRESS_GET_FORMAT, nullptr, nullptr), ICERR_MEMORY);
  const BITMAPINFOHEADER bad = Header(712, 576, 32, BI_RGB);
  EXPECT_EQ(Send(ICM_COMPRESS_GET_FORMAT, &bad, nullptr), ICERR_BADFORMAT);
  EXPECT_EQ(Send(ICM_COMPRESS_GET_FORMAT, &kBgra, nullptr), 40);
  BITMAPINFOHEADER out;
  std::memset(&out, 0xCC, sizeof out);
  EXPECT_EQ(Send(ICM_COMPRESS_GET_FORMAT, &bad, &out), ICERR_BADFORMAT);
  EXPECT_EQ(out.biSize, 0xCCCCCCCCu);

  const LRESULT bound = 720 * 576 * 4 + 4096;
  // A top-down input gets the same, bottom-up compressed format.
  for (const BITMAPINFOHEADER& in : {kBgra, Header(720, 576, 24, kY16a), Header(720, -576, 32, BI_RGB)}) {
    ASSERT_EQ(Send(ICM_COMPRESS_GET_FORMAT, &in, &out), ICERR_OK);
    EXPECT_EQ(out.biCompression, kFourccVoxa);
    EXPECT_EQ(out.biBitCount, in.biBitCount);
    EXPECT_EQ(out.biWidth, 720);
    EXPECT_EQ(out.biHeight, 576);
    EXPECT_EQ(out.biXPelsPerMeter, 77);
    // Sized for the largest frame, not the input's biSizeImage.
    EXPECT_EQ(static_cast<LRESULT>(out.biSizeImage), bound);
    EXPECT_EQ(Send(ICM_COMPRESS_GET_SIZE, &in, nullptr), bound);
    EXPECT_EQ(Send(ICM_COMPRESS_GET_SIZE, &in, &out), bound);
    EXPECT_EQ(Send(ICM_COMPRESS_QUERY, &in, &out), ICERR_OK);
  }
  EXPECT_EQ(Send(ICM_COMPRESS_GET_SIZE, &bad, nullptr), ICERR_BADFORMAT);
  EXPECT_EQ(Send(ICM_COMPRESS_GET_SIZE, nullptr, nullptr), ICERR_MEMORY);
}

TEST_F(NegotiationTest, DecompressGetFormat) {
  // The input is checked before a null output is answered.
  EXPECT_EQ(Send(ICM_DECOMPRESS_GET_FORMAT, nullptr, nullptr), ICERR_MEMORY);
  const BITMAPINFOHEADER small = WithSize(Header(720, 576, 24, kVoxa), 39);
  EXPECT_EQ(Send(ICM_DECOMPRESS_GET_FORMAT, &small, nullptr), ICERR_BADSIZE);
  EXPECT_EQ(Send(ICM_DECOMPRESS_GET_FORMAT, &kBgra, nullptr), ICERR_BADFORMAT);
  const BITMAPINFOHEADER in = Header(720, 576, 24, kVoxa);
  EXPECT_EQ(Send(ICM_DECOMPRESS_GET_FORMAT, &in, nullptr), 40);
  BITMAPINFOHEADER out{};
  ASSERT_EQ(Send(ICM_DECOMPRESS_GET_FORMAT, &in, &out), ICERR_OK);
  EXPECT_EQ(out.biBitCount, 32);
  EXPECT_EQ(out.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(out.biSizeImage, 720u * 576u * 4u);
  EXPECT_EQ(out.biXPelsPerMeter, 77);
  EXPECT_EQ(Send(ICM_DECOMPRESS_QUERY, &in, &out), ICERR_OK);
}

// A longer input header (a BITMAPV4HEADER) gets a proposal of the 40 bytes
// answered for it, which says so, and nothing past them.
TEST_F(NegotiationTest, ProposalsAreFortyBytesWhateverTheInputSays) {
  for (UINT message : {ICM_COMPRESS_GET_FORMAT, ICM_DECOMPRESS_GET_FORMAT}) {
    BITMAPV4HEADER in{}, out, untouched;
    std::memcpy(&in, message == ICM_COMPRESS_GET_FORMAT ? &kBgra : &kVoxaOut, 40);
    in.bV4Size = sizeof in;
    std::memset(&out, 0xCC, sizeof out);
    untouched = out;
    ASSERT_EQ(Send(message, reinterpret_cast<BITMAPINFOHEADER*>(&in),
                   reinterpret_cast<BITMAPINFOHEADER*>(&out)),
              ICERR_OK);
    EXPECT_EQ(out.bV4Size, 40u) << message;
    EXPECT_EQ(std::memcmp(&out.bV4RedMask, &untouched.bV4RedMask, sizeof out - 40), 0) << message;
  }
}

}  // namespace
}  // namespace voxa
