// A Media Foundation media source for tests: the one video stream of an AVI
// file, read with avifil32 (Wine's own AVI path goes through GStreamer, which
// cannot carry VOXA). Every sample is a clean point at its index times the
// frame duration; the request after the last sample is answered with
// MEEndOfStream and MEEndOfPresentation. Only what the Media Session and
// the Source Reader call.
#pragma once

#include <cstdint>

#include <windows.h>

#include <mfidl.h>

#include "push_source_filter.h"

namespace voxa::test {

// The stream's media type has the AVI's FourCC subtype, frame size and rate,
// and MF_MT_COMPRESSED. Null when the file cannot be read.
ComPtr<IMFMediaSource> OpenAviSource(const char* path);

// A sample of `size` bytes copied from `bytes` (none: a buffer of that size
// left as it is), a clean point at `time` for `duration`.
ComPtr<IMFSample> NewSample(const uint8_t* bytes, DWORD size, LONGLONG time, LONGLONG duration);

}  // namespace voxa::test
