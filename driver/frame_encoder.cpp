#include "driver/frame_encoder.h"

#include "codec/frame_codec.h"
#include "codec/kernel_slots.h"
#include "driver/format_negotiation.h"

namespace voxa {

bool FrameEncoder::Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER*,
                           const CodecSettings& settings) {
  return PrepareFor(*input, input->biBitCount, settings);
}

void FrameEncoder::CompressFrame(const ICCOMPRESS& record) {
  const BITMAPINFOHEADER& in = *record.lpbiInput;
  const RawLines stored = StoredLineLayout(in);
  const FrameFormat format{RawPixelFormat(in), static_cast<uint32_t>(in.biWidth), FrameHeight(in)};
  const std::size_t size =
      EncodeFrameLines(format, static_cast<const uint8_t*>(record.lpInput) + stored.first,
                       stored.step, static_cast<uint8_t*>(record.lpOutput), SlotKernels());
  record.lpbiOutput->biSizeImage = static_cast<DWORD>(size);
  // Every frame stands alone.
  if (record.lpdwFlags != nullptr) *record.lpdwFlags = AVIIF_KEYFRAME;
}

}  // namespace voxa
