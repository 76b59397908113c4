// FrameEncoder: one frame into the "QTZ1" container, one chunk per field.
#include <cstring>

#include "codec/frame_container.h"
#include "driver/format_negotiation.h"
#include "driver/frame_coders.h"

namespace voxa {

bool FrameEncoder::CompressFrame(const ICCOMPRESS& record) {
  auto* out = static_cast<uint8_t*>(record.lpOutput);
  std::memcpy(out, kFrameMagic, kFrameMagicBytes);
  std::size_t first = 0, second = 0;
  if (!EncodeField(out + kFrameMagicBytes, record, kFirstFieldTag, &first) ||
      !EncodeField(out + kFrameMagicBytes + first, record, kSecondFieldTag, &second)) {
    return false;
  }
  record.lpbiOutput->biSizeImage = static_cast<DWORD>(kFrameMagicBytes + first + second);
  // Every frame stands alone.
  if (record.lpdwFlags != nullptr) *record.lpdwFlags = AVIIF_KEYFRAME;
  return true;
}

bool FrameEncoder::EncodeField(uint8_t* chunk, const ICCOMPRESS& record, uint32_t tag,
                               std::size_t* size) {
  const BITMAPINFOHEADER& in = *record.lpbiInput;
  const PixelFormat format = RawPixelFormat(in);
  const FieldLines field = FieldLinesOf(in, record.lpInput, tag);
  FieldChunkWriter writer = BeginFieldChunk(chunk, tag);
  bool ok = true;
  if (format == PixelFormat::kRgba32) {
    ok = kernels_->EncodeRgbaField(&writer.out, field.first, field.width, field.lines,
                                   field.step, &writer.run_word);
  } else {
    kernels_->EncodeY16aField(&writer.out, field.first, field.width, field.lines, field.step,
                              &writer.run_word);
  }
  *size = FinishFieldChunk(writer);
  return ok;
}

}  // namespace voxa
