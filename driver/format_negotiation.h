// Which formats the driver takes and proposes, and how large a compressed
// frame can become. The begin messages run the same queries on the headers
// they receive, so a begin refuses exactly what its query refuses.
#pragma once

#include <windows.h>

#include <vfw.h>

#include "codec/frame_container.h"

namespace voxa {

constexpr DWORD kBitmapHeaderBytes = sizeof(BITMAPINFOHEADER);  // 40

// BI_RGB at 32 bits (BGRA) or "Y16A" at 24 bits.
bool IsRawFormatSupported(const BITMAPINFOHEADER* header);

// The pixel format of a header that IsRawFormatSupported accepted.
PixelFormat RawPixelFormat(const BITMAPINFOHEADER& header);

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
