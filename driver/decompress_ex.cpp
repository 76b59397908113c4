#include "driver/decompress_ex.h"

#include "driver/coding_messages.h"
#include "driver/format_negotiation.h"

namespace voxa {
namespace {

bool CoversWholeFrame(int x, int y, int dx, int dy, const BITMAPINFOHEADER& frame) {
  return x == 0 && y == 0 && dx == frame.biWidth && dy >= 0 &&
         static_cast<uint32_t>(dy) == FrameHeight(frame);
}

// The record's own checks: present, large enough, and rectangles over the
// whole frame (the destination's only where there is a destination header;
// each side's headers are checked by the queries).
LRESULT CheckRecord(const ICDECOMPRESSEX* record, DWORD_PTR record_size) {
  if (record == nullptr) return ICERR_BADPARAM;
  if (record_size < sizeof(ICDECOMPRESSEX)) return ICERR_MEMORY;
  if (const LRESULT code = DecompressQuery(record->lpbiSrc, record->lpbiDst); code != ICERR_OK) {
    return code;
  }
  const ICDECOMPRESSEX& r = *record;
  if (!CoversWholeFrame(r.xSrc, r.ySrc, r.dxSrc, r.dySrc, *r.lpbiSrc)) return ICERR_BADFORMAT;
  if (r.lpbiDst != nullptr &&
      !CoversWholeFrame(r.xDst, r.yDst, r.dxDst, r.dyDst, *r.lpbiDst)) {
    return ICERR_BADFORMAT;
  }
  return ICERR_OK;
}

}  // namespace

LRESULT DecompressExQuery(const ICDECOMPRESSEX* record, DWORD_PTR record_size) {
  return CheckRecord(record, record_size);
}

LRESULT DecompressExBegin(DriverInstance& instance, const ICDECOMPRESSEX* record,
                          DWORD_PTR record_size) {
  if (const LRESULT code = CheckRecord(record, record_size); code != ICERR_OK) {
    instance.ReleaseCoders();
    return code;
  }
  return DecompressBegin(instance, record->lpbiSrc, record->lpbiDst);
}

LRESULT DecompressEx(DriverInstance& instance, const ICDECOMPRESSEX* record,
                     DWORD_PTR record_size) {
  if (const LRESULT code = CheckRecord(record, record_size); code != ICERR_OK) return code;
  ICDECOMPRESS plain{};
  plain.dwFlags = record->dwFlags;
  plain.lpbiInput = record->lpbiSrc;
  plain.lpInput = record->lpSrc;
  plain.lpbiOutput = record->lpbiDst;
  plain.lpOutput = record->lpDst;
  return Decompress(instance, &plain, sizeof plain);
}

LRESULT DecompressExEnd(DriverInstance& instance) { return DecompressEnd(instance); }

}  // namespace voxa
