// libFuzzer target: arbitrary bytes as a compressed frame of a small format,
// through DecodeFrame, the driver's kernel entries and the frame inspector.
// The input layout and the checks are in decode_frame_check.h.
#include <cstddef>
#include <cstdint>

#include "fuzz/decode_frame_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  voxa::fuzz::CheckDecodeFrame(data, size);
  return 0;
}
