// Which formats the driver takes and proposes, and how large a compressed
// frame can become. The begin messages run the same queries on the headers
// they receive, so a begin refuses exactly what its query refuses.
#pragma once

#include <windows.h>

#include <vfw.h>

#include <cstddef>
#include <cstdint>

#include "codec/frame_container.h"

namespace voxa {

constexpr DWORD kBitmapHeaderBytes = sizeof(BITMAPINFOHEADER);  // 40

// BI_RGB at 32 bits (BGRA) or "Y16A" at 24 bits.
bool IsRawFormatSupported(const BITMAPINFOHEADER* header);

// The pixel format of a header that IsRawFormatSupported accepted.
PixelFormat RawPixelFormat(const BITMAPINFOHEADER& header);

// The frame's height in lines, |biHeight|: a BGRA bitmap stored top line
// first says so with a negative height.
uint32_t FrameHeight(const BITMAPINFOHEADER& header);

// Where a raw frame's stored lines lie in its buffer: stored line k (counted
// as the codec counts them, bottom line first for BGRA, top line first for
// Y16A) starts at first + k × step bytes. A top-down BGRA bitmap has them in
// reverse, from its last line up; its frame codes exactly as the same picture
// stored bottom-up.
struct RawLines {
  std::ptrdiff_t first;
  std::ptrdiff_t step;
};
RawLines StoredLineLayout(const BITMAPINFOHEADER& raw);

// Whether the buffer of an uncompressed header that the queries accepted
// holds its frame: a biSizeImage of 0 says nothing of it, any other value
// must be the frame's size or more.
bool HoldsRawFrame(const BITMAPINFOHEADER& raw);

// The largest compressed frame for an input header, which the queries have
// made sure fits in 32 bits.
LONG CompressedSizeBound(const BITMAPINFOHEADER& input);

LRESULT CompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output);
LRESULT CompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output);
LRESULT CompressGetSize(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output);
LRESULT DecompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output);
LRESULT DecompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output);

}  // namespace voxa
