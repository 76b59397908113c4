#include "driver/coding_messages.h"

#include "codec/fault_guard.h"
#include "driver/format_negotiation.h"
#include "driver/fourcc.h"
#include "driver/frame_decoder.h"
#include "driver/frame_encoder.h"

namespace voxa {
namespace {

// A frame without pixels needs no pixel buffer.
bool HasPixels(const BITMAPINFOHEADER& raw) { return raw.biWidth > 0 && raw.biHeight != 0; }

// Whether a header is the compressed format itself: a full header (nothing of
// a shorter one is read but its size) whose compression is VOXA.
bool IsCompressedFormat(const BITMAPINFOHEADER* header) {
  return header != nullptr && header->biSize >= kBitmapHeaderBytes &&
         FourccToUpper(header->biCompression) == kFourccVoxa;
}

}  // namespace

LRESULT CompressBegin(DriverInstance& instance, const BITMAPINFOHEADER* input,
                      const BITMAPINFOHEADER* output) {
  instance.ReleaseCoders();
  if (const LRESULT code = CompressQuery(input, output); code != ICERR_OK) return code;
  instance.encoder = new FrameEncoder;
  if (instance.encoder == nullptr) return ICERR_INTERNAL;
  return instance.encoder->Prepare(input, output, instance.settings) ? ICERR_OK : ICERR_INTERNAL;
}

LRESULT Compress(DriverInstance& instance, const ICCOMPRESS* record, DWORD_PTR record_size) {
  if (record == nullptr) return ICERR_BADPARAM;
  if (record_size < sizeof(ICCOMPRESS)) return ICERR_MEMORY;
  // Some hosts (DirectShow's AVI Compressor) send frames without a begin:
  // the frame's own headers prepare the encoder, as a begin with them would.
  if (instance.encoder == nullptr || !instance.encoder->prepared()) {
    if (const LRESULT code = CompressBegin(instance, record->lpbiInput, record->lpbiOutput);
        code != ICERR_OK) {
      return code;
    }
  }
  FrameEncoder* encoder = instance.encoder;
  // Each frame's own headers decide what is read and written; a host that
  // changed them since begin gets the query's answer.
  if (const LRESULT code = CompressQuery(record->lpbiInput, record->lpbiOutput);
      code != ICERR_OK) {
    return code;
  }
  if (record->lpbiOutput == nullptr || record->lpOutput == nullptr ||
      (record->lpInput == nullptr && HasPixels(*record->lpbiInput)) ||
      !HoldsRawFrame(*record->lpbiInput)) {
    return ICERR_BADPARAM;
  }
  return RunGuarded([encoder, record] { encoder->CompressFrame(*record); }) ? ICERR_OK
                                                                           : ICERR_ERROR;
}

LRESULT CompressEnd(DriverInstance& instance) {
  instance.ReleaseCoders();
  return ICERR_OK;
}

LRESULT DecompressBegin(DriverInstance& instance, const BITMAPINFOHEADER* input,
                        const BITMAPINFOHEADER* output) {
  instance.ReleaseCoders();
  // Wine 8's DirectShow AVI Decompressor begins with the compressed format as
  // its output: that names no output, and each frame's record names the one
  // it wants.
  if (IsCompressedFormat(output)) output = nullptr;
  if (const LRESULT code = DecompressQuery(input, output); code != ICERR_OK) return code;
  instance.decoder = new FrameDecoder;
  if (instance.decoder == nullptr) return ICERR_INTERNAL;
  return instance.decoder->Prepare(input, output, instance.settings) ? ICERR_OK
                                                                     : ICERR_INTERNAL;
}

LRESULT Decompress(DriverInstance& instance, const ICDECOMPRESS* record,
                   DWORD_PTR record_size) {
  if (record == nullptr) return ICERR_BADPARAM;
  if (record_size < sizeof(ICDECOMPRESS)) return ICERR_MEMORY;
  if (instance.decoder == nullptr || !instance.decoder->prepared()) {
    if (const LRESULT code = DecompressBegin(instance, record->lpbiInput, record->lpbiOutput);
        code != ICERR_OK) {
      return code;
    }
  }
  FrameDecoder* decoder = instance.decoder;
  // A dropped frame: nothing to decode, the picture stays as it was.
  if ((record->dwFlags & ICDECOMPRESS_NULLFRAME) != 0) return ICERR_OK;
  if (const LRESULT code = DecompressQuery(record->lpbiInput, record->lpbiOutput);
      code != ICERR_OK) {
    return code;
  }
  if (record->lpbiInput->biSizeImage == 0) return ICERR_OK;
  if (record->lpbiOutput == nullptr || record->lpInput == nullptr ||
      (record->lpOutput == nullptr && HasPixels(*record->lpbiOutput)) ||
      !HoldsRawFrame(*record->lpbiOutput)) {
    return ICERR_BADPARAM;
  }
  DecompressResult result = DecompressResult::kDamaged;
  if (!RunGuarded([&] { result = decoder->DecompressFrame(*record); })) return ICERR_ERROR;
  return result == DecompressResult::kDamaged ? ICERR_ERROR : ICERR_OK;
}

LRESULT DecompressEnd(DriverInstance& instance) {
  instance.ReleaseCoders();
  return ICERR_OK;
}

}  // namespace voxa
