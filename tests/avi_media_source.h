// A Media Foundation media source for tests: the one video stream of an AVI
// file, read with avifil32 (Wine's own AVI path goes through GStreamer, which
// cannot carry VOXA). Every sample is a key frame at its index times the
// frame duration; the request after the last sample is answered with
// MEEndOfStream and MEEndOfPresentation. Only what the Media Session and
// the Source Reader call.
#pragma once

#include <windows.h>

#include <mfidl.h>

#include "push_source_filter.h"

namespace voxa::test {

// The stream's media type: the AVI's FourCC subtype, frame size and rate, and
// MF_MT_COMPRESSED. Null when the file cannot be read.
ComPtr<IMFMediaSource> OpenAviSource(const char* path);

}  // namespace voxa::test
