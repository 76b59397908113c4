// The begin, frame and end messages through DriverProc, with the driver's
// logic linked into the test program.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/frame_codec.h"
#include "driver_test_support.h"
#include "page_end_buffer.h"
#include "test_frames.h"

namespace voxa {
namespace {

using test::FrameFromChunks;
using test::PayloadBuilder;
using test::Ptr;

BITMAPINFOHEADER Raw(LONG width, LONG height, PixelFormat format = PixelFormat::kRgba32) {
  return test::RawHeader(width, height, format);
}

BITMAPINFOHEADER Compressed(LONG width, LONG height) { return test::CompressedHeader(width, height); }

class CodingTest : public test::OpenInstanceTest {
 protected:
  LRESULT CompressBegin(const BITMAPINFOHEADER& in, const BITMAPINFOHEADER& out) {
    return Send(ICM_COMPRESS_BEGIN, Ptr(&in), Ptr(&out));
  }
  LRESULT DecompressBegin(const BITMAPINFOHEADER& in, const BITMAPINFOHEADER& out) {
    return Send(ICM_DECOMPRESS_BEGIN, Ptr(&in), Ptr(&out));
  }

  // One ICM_COMPRESS of `raw`; the frame written is left in `frame`.
  LRESULT Compress(BITMAPINFOHEADER in, const std::vector<uint8_t>& raw,
                   std::vector<uint8_t>* frame, DWORD* flags = nullptr,
                   DWORD_PTR record_size = sizeof(ICCOMPRESS)) {
    return Compress(in, raw.data(), frame, flags, record_size);
  }
  LRESULT Compress(BITMAPINFOHEADER in, const uint8_t* raw, std::vector<uint8_t>* frame,
                   DWORD* flags = nullptr, DWORD_PTR record_size = sizeof(ICCOMPRESS)) {
    const LONG height = in.biHeight < 0 ? -in.biHeight : in.biHeight;  // top-down input
    BITMAPINFOHEADER out = Compressed(in.biWidth, height);
    frame->assign(static_cast<std::size_t>(in.biWidth) * height * 4 + 4096, 0xEE);
    ICCOMPRESS c{};
    c.lpbiInput = &in;
    c.lpInput = const_cast<uint8_t*>(raw);
    c.lpbiOutput = &out;
    c.lpOutput = frame->data();
    c.lpdwFlags = flags;
    const LRESULT result = Send(ICM_COMPRESS, Ptr(&c), record_size);
    if (result == ICERR_OK) frame->resize(out.biSizeImage);
    return result;
  }

  LRESULT Decompress(const std::vector<uint8_t>& frame, BITMAPINFOHEADER out,
                     std::vector<uint8_t>* raw, DWORD_PTR record_size = sizeof(ICDECOMPRESS)) {
    return Decompress(frame, out, raw->data(), record_size);
  }
  LRESULT Decompress(const std::vector<uint8_t>& frame, BITMAPINFOHEADER out, uint8_t* raw,
                     DWORD_PTR record_size = sizeof(ICDECOMPRESS)) {
    BITMAPINFOHEADER in = Compressed(out.biWidth, out.biHeight < 0 ? -out.biHeight : out.biHeight);
    in.biSizeImage = static_cast<DWORD>(frame.size());
    ICDECOMPRESS d{};
    d.lpbiInput = &in;
    d.lpInput = const_cast<uint8_t*>(frame.data());
    d.lpbiOutput = &out;
    d.lpOutput = raw;
    return Send(ICM_DECOMPRESS, Ptr(&d), record_size);
  }
};

// Frames need no begin: a frame that finds no coder of its kind (before any
// begin, after an end, after the other kind's begin or a refused one)
// prepares one from its own headers, as a begin with them would, and codes
// what a begun coder codes. Records are checked first.
TEST_F(CodingTest, FramesWithoutTheirBegin) {
  const BITMAPINFOHEADER raw = Raw(32, 4), voxa = Compressed(32, 4);
  test::Random random(3);
  const std::vector<uint8_t> pixels = random.Bytes(32 * 4 * 4);
  std::vector<uint8_t> expected, picture(pixels.size());
  ASSERT_EQ(Compress(raw, pixels, &expected), ICERR_OK) << "before any begin";
  ASSERT_EQ(Decompress(expected, raw, &picture), ICERR_OK) << "decompressing ends compressing";
  BITMAPINFOHEADER rgb24 = raw;
  rgb24.biBitCount = 24;
  const struct {
    const char* name;
    UINT message;  // sent before the frames, with the headers below
    const BITMAPINFOHEADER* in;
    const BITMAPINFOHEADER* out;
  } cases[] = {
      {"after a compress begin", ICM_COMPRESS_BEGIN, &raw, &voxa},
      {"after a decompress begin", ICM_DECOMPRESS_BEGIN, &voxa, &raw},
      {"after an end", ICM_COMPRESS_END, nullptr, nullptr},
      {"after a refused begin", ICM_COMPRESS_BEGIN, &rgb24, &voxa},
  };
  for (const auto& c : cases) {
    for (bool compress : {true, false}) {
      Send(c.message, Ptr(c.in), Ptr(c.out));
      std::vector<uint8_t> frame, out(pixels.size(), 0x5C);
      if (compress) {
        EXPECT_EQ(Compress(raw, pixels, &frame), ICERR_OK) << c.name;
        EXPECT_EQ(frame, expected) << c.name;
      } else {
        EXPECT_EQ(Decompress(expected, raw, &out), ICERR_OK) << c.name;
        EXPECT_EQ(out, picture) << c.name;
      }
    }
  }
  ICCOMPRESS c{};
  ICDECOMPRESS d{};
  EXPECT_EQ(Send(ICM_COMPRESS, 0, sizeof c), ICERR_BADPARAM);
  EXPECT_EQ(Send(ICM_COMPRESS, Ptr(&c), sizeof c - 1), ICERR_MEMORY);
  EXPECT_EQ(Send(ICM_DECOMPRESS, 0, sizeof d), ICERR_BADPARAM);
  EXPECT_EQ(Send(ICM_DECOMPRESS, Ptr(&d), sizeof d - 1), ICERR_MEMORY);
  // Headers a begin would refuse get the begin's answer.
  std::vector<uint8_t> frame;
  EXPECT_EQ(Send(ICM_COMPRESS_END), ICERR_OK);
  EXPECT_EQ(Compress(rgb24, pixels, &frame), ICERR_BADFORMAT);
  EXPECT_EQ(frame[0], 0xEE);
}

// The frames of the container's small examples, byte for byte, and the
// key-frame flag.
TEST_F(CodingTest, SmallFramesAndKeyFrameFlag) {
  struct Case {
    LONG width, height;
    uint8_t fill;
    std::vector<uint8_t> expected;
  };
  const auto empty = PayloadBuilder().Word(0).bytes();
  const auto clear = PayloadBuilder().Word(-1).bytes();
  const Case cases[] = {
      {16, 0, 0, FrameFromChunks({{kFirstFieldTag, empty}, {kSecondFieldTag, empty}})},
      {16, 1, 255, FrameFromChunks({{kFirstFieldTag, empty}, {kSecondFieldTag, empty}})},
      {16, 2, 0, FrameFromChunks({{kFirstFieldTag, clear}, {kSecondFieldTag, clear}})},
  };
  for (const Case& c : cases) {
    const BITMAPINFOHEADER raw = Raw(c.width, c.height);
    ASSERT_EQ(CompressBegin(raw, Compressed(c.width, c.height)), ICERR_OK);
    std::vector<uint8_t> frame;
    DWORD flags = 0xFFFFFFFF;
    ASSERT_EQ(Compress(raw, std::vector<uint8_t>(c.width * c.height * 4, c.fill), &frame, &flags),
              ICERR_OK);
    EXPECT_EQ(frame, c.expected) << c.width << "x" << c.height;
    EXPECT_EQ(flags, static_cast<DWORD>(AVIIF_KEYFRAME));
  }
  const BITMAPINFOHEADER raw = Raw(16, 2);
  std::vector<uint8_t> frame;
  ASSERT_EQ(Compress(raw, std::vector<uint8_t>(128, 255), &frame), ICERR_OK);  // null flags
  EXPECT_EQ(frame.size(), 124u);
}

// The driver writes what the codec core writes, in both formats, and decodes
// it back as the core does; an odd height's last line is left alone.
TEST_F(CodingTest, FramesMatchTheCodecCore) {
  struct Case {
    PixelFormat format;
    LONG width, height;
  };
  for (const Case& c : {Case{PixelFormat::kRgba32, 720, 577}, Case{PixelFormat::kY16a, 64, 9}}) {
    const FrameFormat f{c.format, static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.height)};
    // The kernels the driver installs on this processor.
    const FieldKernels installed = KernelsOfVariant(InstalledVariant());
    test::Random random(5);
    const std::vector<uint8_t> pixels = random.Bytes(RawFrameBytes(f.format, f.width, f.height));
    std::vector<uint8_t> expected(MaxCompressedFrameBytes(f.width, f.height));
    expected.resize(EncodeFrame(f, pixels.data(), expected.data(), installed));

    const BITMAPINFOHEADER raw = Raw(c.width, c.height, c.format);
    ASSERT_EQ(CompressBegin(raw, Compressed(c.width, c.height)), ICERR_OK);
    std::vector<uint8_t> frame;
    ASSERT_EQ(Compress(raw, pixels, &frame), ICERR_OK);
    EXPECT_EQ(frame, expected);

    std::vector<uint8_t> want(pixels.size(), 0x5C), got(pixels.size(), 0x5C);
    ASSERT_EQ(DecodeFrame(f, frame.data(), frame.size(), want.data(), installed),
              DecodeStatus::kDecoded);
    ASSERT_EQ(DecompressBegin(Compressed(c.width, c.height), raw), ICERR_OK);
    ASSERT_EQ(Decompress(frame, raw, &got), ICERR_OK);
    EXPECT_EQ(got, want);
    const std::size_t line = BytesPerPixel(c.format) * c.width;
    EXPECT_EQ(std::vector<uint8_t>(got.end() - line, got.end()), std::vector<uint8_t>(line, 0x5C));
  }
}

// A BGRA bitmap stored top line first (negative height) codes into the frame
// of the same picture stored bottom-up, and decodes into the same picture
// line for line; an odd height's line outside both fields is the first in
// its buffer and stays untouched. Its buffers end at a page without access.
TEST_F(CodingTest, TopDownBitmapsCodeAsBottomUp) {
  const FieldKernels installed = KernelsOfVariant(InstalledVariant());
  const uint32_t width = 48;
  const std::size_t line = width * 4;
  for (uint32_t height : {32u, 31u, 2u, 1u}) {
    for (int32_t flag : {0, 1}) {
      const std::string name = std::to_string(height) + " lines, field order flag " + std::to_string(flag);
      std::vector<uint8_t> state(4104, 0);
      std::memcpy(state.data(), "VOXA", 4);
      std::memcpy(state.data() + 4, &flag, 4);
      ASSERT_EQ(Send(ICM_SETSTATE, Ptr(state.data()), 4104), 4100);
      const FrameFormat f{PixelFormat::kRgba32, width, height};
      test::Random random(height + 100 * flag);
      const std::vector<uint8_t> bottom_up = random.Bytes(line * height);
      std::vector<uint8_t> expected(MaxCompressedFrameBytes(width, height));
      expected.resize(EncodeFrame(f, bottom_up.data(), expected.data(), installed));
      std::vector<uint8_t> picture(bottom_up.size(), 0x5C);
      DecodeFrame(f, expected.data(), expected.size(), picture.data(), installed);
      // The same pictures with their lines in reverse.
      const auto reversed = [&](const std::vector<uint8_t>& lines) {
        std::vector<uint8_t> r(lines.size());
        for (uint32_t y = 0; y < height; ++y) {
          std::memcpy(&r[y * line], &lines[(height - 1 - y) * line], line);
        }
        return r;
      };
      const BITMAPINFOHEADER top_down = Raw(width, -static_cast<LONG>(height));

      test::PageEndBuffer in(bottom_up.size());
      const std::vector<uint8_t> top_down_pixels = reversed(bottom_up);
      std::memcpy(in.data(), top_down_pixels.data(), top_down_pixels.size());
      ASSERT_EQ(CompressBegin(top_down, Compressed(width, height)), ICERR_OK) << name;
      std::vector<uint8_t> frame;
      EXPECT_EQ(Compress(top_down, in.data(), &frame), ICERR_OK) << name;
      EXPECT_EQ(frame, expected) << name;

      test::PageEndBuffer out(bottom_up.size());
      std::memset(out.data(), 0x5C, bottom_up.size());
      ASSERT_EQ(DecompressBegin(Compressed(width, height), top_down), ICERR_OK) << name;
      EXPECT_EQ(Decompress(expected, top_down, out.data()), ICERR_OK) << name;
      EXPECT_EQ(std::vector<uint8_t>(out.data(), out.data() + bottom_up.size()), reversed(picture))
          << name;
    }
  }
}

// Settings with the field-order flag 0 or 1 code the same bytes.
TEST_F(CodingTest, FieldOrderFlagChangesNothing) {
  const BITMAPINFOHEADER raw = Raw(48, 6);
  test::Random random(9);
  const std::vector<uint8_t> pixels = random.Bytes(48 * 6 * 4);
  std::vector<std::vector<uint8_t>> frames;
  for (int32_t flag : {0, 1}) {
    std::vector<uint8_t> state(4104, 0);
    std::memcpy(state.data(), "VOXA", 4);
    std::memcpy(state.data() + 4, &flag, 4);
    ASSERT_EQ(Send(ICM_SETSTATE, Ptr(state.data()), 4104), 4100);
    ASSERT_EQ(CompressBegin(raw, Compressed(48, 6)), ICERR_OK);
    frames.emplace_back();
    ASSERT_EQ(Compress(raw, pixels, &frames.back()), ICERR_OK);
  }
  EXPECT_EQ(frames[0], frames[1]);
}

// How the decoder picks chunks, and what it does with frames that are
// damaged or not ours.
TEST_F(CodingTest, DecodesChunkOrdersAndRefusesWhatIsNotOurs) {
  const BITMAPINFOHEADER raw = Raw(16, 2);
  const auto opaque = PayloadBuilder().Word(1).Block(test::LiteralBlock(235, 0, 128, 128)).bytes();
  const auto clear = PayloadBuilder().Word(-1).bytes();
  const auto other = PayloadBuilder().Word(3).bytes();
  // Stored line 1 is field 32: white above, transparent below.
  std::vector<uint8_t> white_on_top(128, 0);
  std::fill(white_on_top.begin() + 64, white_on_top.end(), 255);
  const std::vector<uint8_t> untouched(128, 0x5C);
  struct Case {
    const char* name;
    std::vector<uint8_t> frame;
    LRESULT result;
    std::vector<uint8_t> picture;
  };
  std::vector<uint8_t> cut = FrameFromChunks({{kFirstFieldTag, opaque}, {kSecondFieldTag, clear}});
  cut.resize(30);
  const Case cases[] = {
      {"normal", FrameFromChunks({{kFirstFieldTag, opaque}, {kSecondFieldTag, clear}}), ICERR_OK,
       white_on_top},
      {"swapped", FrameFromChunks({{kSecondFieldTag, clear}, {kFirstFieldTag, opaque}}), ICERR_OK,
       white_on_top},
      {"other_tag_between",
       FrameFromChunks({{kFirstFieldTag, opaque}, {7, other}, {kSecondFieldTag, clear}}), ICERR_OK,
       white_on_top},
      {"third_field_ignored",
       FrameFromChunks({{kFirstFieldTag, opaque}, {kSecondFieldTag, clear}, {kSecondFieldTag, opaque}}),
       ICERR_OK, white_on_top},
      {"single_chunk_serves_both", FrameFromChunks({{kSecondFieldTag, opaque}}), ICERR_OK,
       std::vector<uint8_t>(128, 255)},
      {"lower_case_magic",
       [&] {
         auto f = FrameFromChunks({{kFirstFieldTag, opaque}});
         f[3] = 'l';
         return f;
       }(),
       ICERR_OK, untouched},
      {"no_field_chunk", FrameFromChunks({{7, other}}), ICERR_OK, untouched},
      {"magic_only", FrameFromChunks({}), ICERR_OK, untouched},
      {"cut_in_first_payload", cut, ICERR_ERROR, untouched},
  };
  ASSERT_EQ(DecompressBegin(Compressed(16, 2), raw), ICERR_OK);
  for (const Case& c : cases) {
    std::vector<uint8_t> out(128, 0x5C);
    EXPECT_EQ(Decompress(c.frame, raw, &out), c.result) << c.name;
    EXPECT_EQ(out, c.picture) << c.name;
  }
  // A damaged second field: the first is decoded, the second left as it was.
  auto damaged = FrameFromChunks({{kFirstFieldTag, opaque}, {kSecondFieldTag, opaque}});
  damaged.resize(damaged.size() - 1);
  std::vector<uint8_t> out(128, 0x5C);
  EXPECT_EQ(Decompress(damaged, raw, &out), ICERR_ERROR);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 64, out.end()), std::vector<uint8_t>(64, 255));
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 64), std::vector<uint8_t>(64, 0x5C));
}

ICDECOMPRESSEX With(ICDECOMPRESSEX record, int ICDECOMPRESSEX::*member, int value) {
  record.*member = value;
  return record;
}

// The extended messages (query, begin, frame) check their record alike: a
// whole record, and rectangles over the whole frame on each side.
TEST_F(CodingTest, DecompressExRecordsCoverTheWholeFrame) {
  const LONG w = 32, h = 4;
  const auto frame = FrameFromChunks({{kFirstFieldTag, PayloadBuilder().Word(-4).bytes()}});
  BITMAPINFOHEADER voxa = Compressed(w, h), raw = Raw(w, h);
  voxa.biSizeImage = static_cast<DWORD>(frame.size());
  std::vector<uint8_t> picture;
  ICDECOMPRESSEX whole{};
  whole.lpbiSrc = &voxa;
  whole.lpSrc = const_cast<uint8_t*>(frame.data());
  whole.lpbiDst = &raw;
  whole.dxSrc = whole.dxDst = w;
  whole.dySrc = whole.dyDst = h;
  const struct {
    const char* name;
    ICDECOMPRESSEX record;
    DWORD_PTR size;
    LRESULT result;
  } cases[] = {
      {"whole", whole, sizeof whole, ICERR_OK},
      {"one byte short", whole, sizeof whole - 1, ICERR_MEMORY},
      {"source 2 lines down", With(whole, &ICDECOMPRESSEX::ySrc, 2), sizeof whole, ICERR_BADFORMAT},
      {"source half the height", With(whole, &ICDECOMPRESSEX::dySrc, h / 2), sizeof whole, ICERR_BADFORMAT},
      {"destination 2 lines down", With(whole, &ICDECOMPRESSEX::yDst, 2), sizeof whole, ICERR_BADFORMAT},
      {"destination half the height", With(whole, &ICDECOMPRESSEX::dyDst, h / 2), sizeof whole,
       ICERR_BADFORMAT},
  };
  for (const auto& c : cases) {
    ICDECOMPRESSEX record = c.record;
    picture.assign(w * h * 4, 0x5C);
    record.lpDst = picture.data();
    EXPECT_EQ(Send(ICM_DECOMPRESSEX_QUERY, Ptr(&record), c.size), c.result) << c.name;
    EXPECT_EQ(Send(ICM_DECOMPRESSEX_BEGIN, Ptr(&record), c.size), c.result) << c.name;
    EXPECT_EQ(Send(ICM_DECOMPRESSEX, Ptr(&record), c.size), c.result) << c.name;
    EXPECT_EQ(picture, std::vector<uint8_t>(picture.size(), c.result == ICERR_OK ? 0 : 0x5C)) << c.name;
    EXPECT_EQ(Send(ICM_DECOMPRESSEX_END), ICERR_OK);
  }
}

// Headers that change between begin and frame are checked again: the frame
// message answers as the query would, and touches nothing.
TEST_F(CodingTest, FrameHeadersAreCheckedAgain) {
  ASSERT_EQ(CompressBegin(Raw(32, 4), Compressed(32, 4)), ICERR_OK);
  std::vector<uint8_t> frame;
  const std::vector<uint8_t> pixels(64 * 64 * 4, 255);
  EXPECT_EQ(Compress(Raw(24, 4), pixels, &frame), ICERR_BADFORMAT);
  EXPECT_EQ(Compress(Raw(-32, 4), pixels, &frame), ICERR_BADFORMAT);
  BITMAPINFOHEADER small = Raw(32, 4);
  small.biSize = 12;
  EXPECT_EQ(Compress(small, pixels, &frame), ICERR_BADSIZE);
  EXPECT_EQ(frame[0], 0xEE);

  ASSERT_EQ(DecompressBegin(Compressed(32, 4), Raw(32, 4)), ICERR_OK);
  std::vector<uint8_t> out(64 * 64 * 4, 0x5C);
  const auto good = FrameFromChunks({{kFirstFieldTag, PayloadBuilder().Word(-2).bytes()}});
  EXPECT_EQ(Decompress(good, Raw(40, 4), &out), ICERR_BADFORMAT);
  BITMAPINFOHEADER y16a_32 = Raw(32, 4, PixelFormat::kY16a);
  y16a_32.biBitCount = 32;
  EXPECT_EQ(Decompress(good, y16a_32, &out), ICERR_BADFORMAT);
  EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0x5C));
}

}  // namespace
}  // namespace voxa
