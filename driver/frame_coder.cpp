// What the frame encoder and decoder share: preparation and release.
#include "driver/frame_coder.h"

#include "codec/fault_guard.h"
#include "driver/format_negotiation.h"

namespace voxa {
namespace {

constexpr int64_t kScratchSlackBytes = 128;
constexpr int32_t kChangeFieldsOrder = 1;

}  // namespace

FrameCoder::~FrameCoder() { Release(); }

void FrameCoder::Release() {
  // The pointer is cleared first, so a fault while releasing leaves none to
  // a block that is gone; the fault is swallowed.
  void* const scratch = scratch_frame_;
  scratch_frame_ = nullptr;
  prepared_ = false;
  RunGuarded([scratch] { HeapRelease(scratch); });
}

bool FrameCoder::PrepareFor(const BITMAPINFOHEADER& frame, WORD bit_count,
                            const CodecSettings& settings) {
  Release();
  settings_ = settings;
  if (settings_.change_fields_order == kChangeFieldsOrder) {
    const int64_t bytes =
        int64_t{bit_count} * FrameHeight(frame) * frame.biWidth / 8 + kScratchSlackBytes;
    scratch_frame_ = HeapAllocate(static_cast<std::size_t>(bytes));
    if (scratch_frame_ == nullptr) return false;
  }
  prepared_ = true;
  return true;
}

}  // namespace voxa
