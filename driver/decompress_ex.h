// The extended decompression messages, ICM_DECOMPRESSEX_QUERY, _BEGIN, the
// frame message and _END: decompression between a source and a destination
// rectangle. The codec draws whole frames only: rectangles that cover the
// whole frame on both sides decode as ICM_DECOMPRESS does, any other is
// refused with ICERR_BADFORMAT.
#pragma once

#include <windows.h>

#include <vfw.h>

#include "driver/driver_instance.h"

namespace voxa {

LRESULT DecompressExQuery(const ICDECOMPRESSEX* record, DWORD_PTR record_size);
LRESULT DecompressExBegin(DriverInstance& instance, const ICDECOMPRESSEX* record,
                          DWORD_PTR record_size);
LRESULT DecompressEx(DriverInstance& instance, const ICDECOMPRESSEX* record,
                     DWORD_PTR record_size);
LRESULT DecompressExEnd(DriverInstance& instance);

}  // namespace voxa
