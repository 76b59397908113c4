// The body of the frame decoder fuzz target, shared with the regression test
// that replays inputs through it in every build.
//
// Input layout:
//   byte 0   bit 0: pixel format (0 BGRA, 1 Y16A); bit 1: round trip (also
//            encode a frame of pixels made from the input); bits 2-3: the
//            kernels (0 portable, 1 SSE, 2 SSE2, 3 portable; a variant the
//            build or the processor lacks gives the portable ones); other
//            bits unused
//   byte 1   width in blocks of 16 pixels, modulo 65 (0..64 blocks)
//   byte 2   height in lines, modulo 65 (0..64 lines)
//   rest     the compressed frame
// Inputs shorter than the header are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/cpu_class.h"
#include "codec/field_kernels.h"
#include "codec/frame_container.h"

namespace voxa::fuzz {

constexpr std::size_t kCheckHeaderBytes = 3;
constexpr uint32_t kMaxWidthBlocks = 64;
constexpr uint32_t kMaxHeight = 64;
constexpr uint8_t kFlagY16a = 1;
constexpr uint8_t kFlagRoundTrip = 2;
constexpr int kVariantShift = 2;
constexpr uint8_t kVariantMask = 3 << kVariantShift;

// An input in the layout above. Width must be a multiple of 16 and both sizes
// within the limits.
std::vector<uint8_t> MakeCheckInput(PixelFormat format, uint32_t width, uint32_t height,
                                    bool round_trip, const std::vector<uint8_t>& frame,
                                    KernelVariant variant = KernelVariant::kPortable);

// The input with its kernel bits set to `variant`.
std::vector<uint8_t> WithVariant(std::vector<uint8_t> input, KernelVariant variant);

// Decodes the input's frame with the kernels it names and checks what must
// hold for any bytes at all; fails through the failure handler.
void CheckDecodeFrame(const uint8_t* data, std::size_t size);

// The same with the given kernels, whatever the input names (the driver's
// kernel entries are still compared against them). For tests of the check.
void CheckDecodeFrameWith(const uint8_t* data, std::size_t size, const FieldKernels& kernels);

// Called with a description of a failed check. The default one prints it to
// stderr and aborts; a handler that returns makes the check abort anyway.
using CheckFailureHandler = void (*)(const char* message);
CheckFailureHandler SetCheckFailureHandler(CheckFailureHandler handler);

}  // namespace voxa::fuzz
