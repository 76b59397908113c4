// The six coding messages: begin, frame and end, for compression and for
// decompression.
#pragma once

#include <windows.h>

#include <vfw.h>

#include "driver/driver_instance.h"

namespace voxa {

LRESULT CompressBegin(DriverInstance& instance, const BITMAPINFOHEADER* input,
                      const BITMAPINFOHEADER* output);
LRESULT Compress(DriverInstance& instance, const ICCOMPRESS* record, DWORD_PTR record_size);
LRESULT CompressEnd(DriverInstance& instance);

LRESULT DecompressBegin(DriverInstance& instance, const BITMAPINFOHEADER* input,
                        const BITMAPINFOHEADER* output);
LRESULT Decompress(DriverInstance& instance, const ICDECOMPRESS* record,
                   DWORD_PTR record_size);
LRESULT DecompressEnd(DriverInstance& instance);

}  // namespace voxa
