#include "driver/format_negotiation.h"

#include <cstdint>
#include <cstring>

#include "codec/field_payload.h"
#include "driver/fourcc.h"

namespace voxa {
namespace {

constexpr WORD kBgraBitCount = 32;
constexpr WORD kY16aBitCount = 24;
constexpr int64_t kSizeBoundSlack = 4096;
constexpr int64_t kBoundBytesPerPixel = 4;

// A frame the coders can walk: width a positive multiple of 16 (a frame of
// no columns has no blocks, whatever its height says), and a size bound that
// fits the 32-bit answer of the size query. Only a BGRA bitmap may say with a
// negative height that it is stored top line first; the compressed format
// and Y16A (top line first by nature) never do.
bool IsCodableFrame(const BITMAPINFOHEADER& h, bool may_be_top_down) {
  if (h.biWidth <= 0 || h.biWidth % static_cast<LONG>(kBlockPixels) != 0) return false;
  if (h.biHeight < 0 && !may_be_top_down) return false;
  const int64_t bound = int64_t{h.biWidth} * FrameHeight(h) * kBoundBytesPerPixel + kSizeBoundSlack;
  return bound <= INT32_MAX;
}

bool IsTopDownCapable(const BITMAPINFOHEADER& raw) { return raw.biCompression == BI_RGB; }

// A proposed format is a plain BITMAPINFOHEADER: the input's first 40 bytes,
// saying 40 bytes whatever the input's own header says. A host that copies
// the proposal by its biSize then reads only what it was given.
void ProposeFrom(const BITMAPINFOHEADER& input, BITMAPINFOHEADER* output) {
  std::memcpy(output, &input, kBitmapHeaderBytes);
  output->biSize = kBitmapHeaderBytes;
}

// The input checks shared by both queries, the first failing one deciding.
LRESULT CheckInputHeader(const BITMAPINFOHEADER* input) {
  if (input == nullptr) return ICERR_MEMORY;
  if (input->biSize < kBitmapHeaderBytes) return ICERR_BADSIZE;
  return ICERR_OK;
}

// A compressed header and an uncompressed one describe the same frame: the
// same width, and the compressed height is the uncompressed one's magnitude.
bool SameFrameSize(const BITMAPINFOHEADER& raw, const BITMAPINFOHEADER& compressed) {
  return raw.biWidth == compressed.biWidth && compressed.biHeight >= 0 &&
         FrameHeight(raw) == static_cast<uint32_t>(compressed.biHeight);
}

}  // namespace

bool IsRawFormatSupported(const BITMAPINFOHEADER* header) {
  if (header == nullptr) return false;
  const uint32_t compression = FourccToUpper(header->biCompression);
  return (compression == BI_RGB && header->biBitCount == kBgraBitCount) ||
         (compression == kFourccY16a && header->biBitCount == kY16aBitCount);
}

uint32_t FrameHeight(const BITMAPINFOHEADER& header) {
  return static_cast<uint32_t>(header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight);
}

RawLines StoredLineLayout(const BITMAPINFOHEADER& raw) {
  const std::ptrdiff_t line =
      static_cast<std::ptrdiff_t>(BytesPerPixel(RawPixelFormat(raw)) * raw.biWidth);
  if (raw.biHeight >= 0) return RawLines{0, line};
  const uint32_t height = FrameHeight(raw);
  return RawLines{height == 0 ? 0 : static_cast<std::ptrdiff_t>(height - 1) * line, -line};
}

PixelFormat RawPixelFormat(const BITMAPINFOHEADER& header) {
  return header.biCompression == BI_RGB ? PixelFormat::kRgba32 : PixelFormat::kY16a;
}

bool HoldsRawFrame(const BITMAPINFOHEADER& raw) {
  const uint64_t frame =
      RawFrameBytes(RawPixelFormat(raw), static_cast<uint32_t>(raw.biWidth), FrameHeight(raw));
  return raw.biSizeImage == 0 || raw.biSizeImage >= frame;
}

LONG CompressedSizeBound(const BITMAPINFOHEADER& input) {
  return static_cast<LONG>(int64_t{input.biWidth} * FrameHeight(input) * kBoundBytesPerPixel +
                           kSizeBoundSlack);
}

LRESULT CompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
  if (const LRESULT code = CheckInputHeader(input); code != ICERR_OK) return code;
  if (!IsRawFormatSupported(input)) return ICERR_BADFORMAT;
  if (!IsCodableFrame(*input, IsTopDownCapable(*input))) return ICERR_BADFORMAT;
  if (output == nullptr) return ICERR_OK;
  if (output->biSize < kBitmapHeaderBytes) return ICERR_BADFORMAT;
  if (FourccToUpper(output->biCompression) != kFourccVoxa) return ICERR_BADFORMAT;
  if (!SameFrameSize(*input, *output)) return ICERR_BADFORMAT;
  return ICERR_OK;
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
  if (const LRESULT code = CheckInputHeader(input); code != ICERR_OK) return code;
  if (FourccToUpper(input->biCompression) != kFourccVoxa) return ICERR_BADFORMAT;
  if (!IsCodableFrame(*input, false)) return ICERR_BADFORMAT;
  if (output == nullptr) return ICERR_OK;
  // Nothing of a short header is read but its size.
  if (output->biSize < kBitmapHeaderBytes) return ICERR_BADFORMAT;
  if (!IsRawFormatSupported(output)) return ICERR_BADFORMAT;
  if (output->biHeight < 0 && !IsTopDownCapable(*output)) return ICERR_BADFORMAT;
  if (!SameFrameSize(*output, *input)) return ICERR_BADFORMAT;
  return ICERR_OK;
}

LRESULT CompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output) {
  if (const LRESULT code = CompressQuery(input, nullptr); code != ICERR_OK) return code;
  if (output == nullptr) return kBitmapHeaderBytes;
  ProposeFrom(*input, output);
  output->biCompression = kFourccVoxa;
  // The compressed frame is the same whichever way the input is stored.
  output->biHeight = static_cast<LONG>(FrameHeight(*input));
  // Hosts size their frame buffers from this: the input's own biSizeImage may
  // be 0 or smaller than the largest compressed frame.
  output->biSizeImage = static_cast<DWORD>(CompressedSizeBound(*input));
  return ICERR_OK;
}

LRESULT CompressGetSize(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
  if (const LRESULT code = CompressQuery(input, output); code != ICERR_OK) return code;
  return CompressedSizeBound(*input);
}

LRESULT DecompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output) {
  if (const LRESULT code = DecompressQuery(input, nullptr); code != ICERR_OK) return code;
  if (output == nullptr) return kBitmapHeaderBytes;
  ProposeFrom(*input, output);
  output->biBitCount = kBgraBitCount;
  output->biCompression = BI_RGB;
  output->biSizeImage = static_cast<DWORD>(input->biWidth * input->biHeight * 4);
  return ICERR_OK;
}

}  // namespace voxa
