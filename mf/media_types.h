// The decoder's media types. It takes VOXA video of a size the codec codes
// and gives ARGB32 or RGB32 pictures of the same size: 32-bit BGRA with
// straight alpha, `voxa decode`'s bytes, in either subtype (RGB32 hosts
// ignore the fourth byte). A picture's lines are stored bottom-up for a
// negative stride and top-down for a positive one; a type that names no
// stride means bottom-up, as RGB types do in Media Foundation.
#pragma once

#include <windows.h>

#include <mfidl.h>

namespace voxa::mf {

constexpr UINT32 kBytesPerPixel = 4;

struct InputFormat {
  UINT32 width = 0;
  UINT32 height = 0;
};

// The bytes of a picture of that size, lines back to back.
inline DWORD PictureBytes(const InputFormat& format) {
  return format.width * kBytesPerPixel * format.height;
}

struct OutputLayout {
  GUID subtype{};
  LONG stride = 0;          // bytes from one line to the next one down
  DWORD sample_bytes = 0;   // |stride| x height
};

// The input's frame size: S_OK, or MF_E_INVALIDMEDIATYPE for a type that is
// not VOXA video, has no MF_MT_FRAME_SIZE or a size the codec does not code
// (a width that is not a multiple of 16, an odd height, an empty or too
// large picture).
HRESULT ReadInputType(IMFMediaType* type, InputFormat* format);

// The layout of an output type for that input: S_OK, or
// MF_E_INVALIDMEDIATYPE for another major type or subtype, another frame
// size (or none), or a stride shorter than a line. Anything else in the
// type is the host's business (Wine's session leaves MF_MT_COMPRESSED in).
HRESULT ReadOutputType(IMFMediaType* type, const InputFormat& input, OutputLayout* layout);

// The partial type the decoder takes: video of the VOXA subtype.
HRESULT MakeInputType(IMFMediaType** type);

// The output types for an input type, in the decoder's order: 0 ARGB32,
// 1 RGB32 (MF_E_NO_MORE_TYPES after), with the input's frame size, frame
// rate, aspect ratio and interlace mode and a bottom-up stride.
HRESULT MakeOutputType(IMFMediaType* input, DWORD index, IMFMediaType** type);

// A copy of `from` that the caller owns.
HRESULT CopyType(IMFMediaType* from, IMFMediaType** to);

}  // namespace voxa::mf
