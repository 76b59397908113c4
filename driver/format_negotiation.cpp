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

// A frame the coders can walk: width a non-negative multiple of 16, height
// not negative (top-down bitmaps are refused; hosts then offer the bottom-up
// form), and a size bound that fits the 32-bit answer of the size query.
bool IsCodableFrame(const BITMAPINFOHEADER& h) {
  if (h.biWidth < 0 || h.biWidth % static_cast<LONG>(kBlockPixels) != 0) return false;
  if (h.biHeight < 0) return false;
  const int64_t bound =
      int64_t{h.biWidth} * h.biHeight * kBoundBytesPerPixel + kSizeBoundSlack;
  return bound <= INT32_MAX;
}

// The input checks shared by both queries, the first failing one deciding.
LRESULT CheckInputHeader(const BITMAPINFOHEADER* input) {
  if (input == nullptr) return ICERR_MEMORY;
  if (input->biSize < kBitmapHeaderBytes) return ICERR_BADSIZE;
  return ICERR_OK;
}

bool SameFrameSize(const BITMAPINFOHEADER& a, const BITMAPINFOHEADER& b) {
  return a.biWidth == b.biWidth && a.biHeight == b.biHeight;
}

}  // namespace

bool IsRawFormatSupported(const BITMAPINFOHEADER* header) {
  if (header == nullptr) return false;
  const uint32_t compression = FourccToUpper(header->biCompression);
  return (compression == BI_RGB && header->biBitCount == kBgraBitCount) ||
         (compression == kFourccY16a && header->biBitCount == kY16aBitCount);
}

PixelFormat RawPixelFormat(const BITMAPINFOHEADER& header) {
  return header.biCompression == BI_RGB ? PixelFormat::kRgba32 : PixelFormat::kY16a;
}

bool HoldsRawFrame(const BITMAPINFOHEADER& raw) {
  const uint64_t frame = RawFrameBytes(RawPixelFormat(raw), static_cast<uint32_t>(raw.biWidth),
                                       static_cast<uint32_t>(raw.biHeight));
  return raw.biSizeImage == 0 || raw.biSizeImage >= frame;
}

LONG CompressedSizeBound(const BITMAPINFOHEADER& input) {
  return static_cast<LONG>(int64_t{input.biWidth} * input.biHeight * kBoundBytesPerPixel +
                           kSizeBoundSlack);
}

LRESULT CompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
  if (const LRESULT code = CheckInputHeader(input); code != ICERR_OK) return code;
  if (!IsRawFormatSupported(input)) return ICERR_BADFORMAT;
  if (!IsCodableFrame(*input)) return ICERR_BADFORMAT;
  if (output == nullptr) return ICERR_OK;
  if (output->biSize < kBitmapHeaderBytes) return ICERR_BADFORMAT;
  if (FourccToUpper(output->biCompression) != kFourccVoxa) return ICERR_BADFORMAT;
  if (!SameFrameSize(*input, *output)) return ICERR_BADFORMAT;
  return ICERR_OK;
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
  if (const LRESULT code = CheckInputHeader(input); code != ICERR_OK) return code;
  if (FourccToUpper(input->biCompression) != kFourccVoxa) return ICERR_BADFORMAT;
  if (!IsCodableFrame(*input)) return ICERR_BADFORMAT;
  if (output == nullptr) return ICERR_OK;
  // Nothing of a short header is read but its size.
  if (output->biSize < kBitmapHeaderBytes) return ICERR_BADFORMAT;
  if (!IsRawFormatSupported(output)) return ICERR_BADFORMAT;
  if (!SameFrameSize(*input, *output)) return ICERR_BADFORMAT;
  return ICERR_OK;
}

LRESULT CompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output) {
  if (output == nullptr) return kBitmapHeaderBytes;
  if (const LRESULT code = CompressQuery(input, nullptr); code != ICERR_OK) return code;
  std::memcpy(output, input, kBitmapHeaderBytes);
  output->biCompression = kFourccVoxa;
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
  std::memcpy(output, input, kBitmapHeaderBytes);
  output->biBitCount = kBgraBitCount;
  output->biCompression = BI_RGB;
  output->biSizeImage = static_cast<DWORD>(input->biWidth * input->biHeight * 4);
  return ICERR_OK;
}

}  // namespace voxa
