// What the frame encoder and decoder share: preparation and release.
#include "driver/frame_coders.h"

#include "codec/fault_guard.h"
#include "driver/format_negotiation.h"

namespace voxa {
namespace {

constexpr int64_t kScratchSlackBytes = 128;
constexpr int32_t kChangeFieldsOrder = 1;
constexpr WORD kLargestPixelBits = 32;

struct Owned {
  ColorKernels* kernels;
  void* scratch_frame;
};

void DeleteOwned(void* context) {
  Owned& owned = *static_cast<Owned*>(context);
  delete owned.kernels;
  HeapRelease(owned.scratch_frame);
}

}  // namespace

FieldLines FieldLinesOf(const BITMAPINFOHEADER& raw, const void* pixels, uint32_t tag) {
  const RawLines stored = StoredLineLayout(raw);
  const auto* base = static_cast<const uint8_t*>(pixels);
  const uint32_t lines = FrameHeight(raw) / 2;
  const uint32_t start = FieldStartLine(RawPixelFormat(raw), tag);
  return FieldLines{lines == 0 ? base : base + stored.first + static_cast<std::ptrdiff_t>(start) * stored.step,
                    2 * stored.step, static_cast<uint32_t>(raw.biWidth), lines};
}

FrameCoder::~FrameCoder() { Release(); }

void FrameCoder::Release() {
  // The pointers are cleared first, so a fault while deleting leaves none to
  // an object that is gone.
  Owned owned{kernels_, scratch_frame_};
  kernels_ = nullptr;
  scratch_frame_ = nullptr;
  prepared_ = false;
  RunGuarded(DeleteOwned, &owned);
}

bool FrameCoder::PrepareFor(const BITMAPINFOHEADER& frame, WORD bit_count,
                            const CodecSettings& settings) {
  Release();
  settings_ = settings;
  kernels_ = new DriverColorKernels;
  if (kernels_ == nullptr) return false;
  if (settings_.change_fields_order == kChangeFieldsOrder) {
    const int64_t bytes =
        int64_t{bit_count} * FrameHeight(frame) * frame.biWidth / 8 + kScratchSlackBytes;
    scratch_frame_ = HeapAllocate(static_cast<std::size_t>(bytes));
    if (scratch_frame_ == nullptr) return false;
  }
  prepared_ = true;
  return true;
}

bool FrameEncoder::Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER*,
                           const CodecSettings& settings) {
  return PrepareFor(*input, input->biBitCount, settings);
}

bool FrameDecoder::Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
                           const CodecSettings& settings) {
  // A host may begin without naming the output: the frame's size is the
  // input's, and its pixels are at most 32 bits.
  if (output == nullptr) return PrepareFor(*input, kLargestPixelBits, settings);
  return PrepareFor(*output, output->biBitCount, settings);
}

}  // namespace voxa
