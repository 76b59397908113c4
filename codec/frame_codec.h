// Whole frames: two field payloads in the frame container, coded with one
// set of field kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/field_kernels.h"
#include "codec/frame_container.h"

namespace voxa {

struct FrameFormat {
  PixelFormat format;
  uint32_t width;   // a multiple of 16
  uint32_t height;
};

// The frame functions below take a frame stored contiguously. These take
// its stored lines anywhere: stored line s at stored_line0 + s × line_step
// (BGRA frames are stored bottom line first, Y16A frames top line first; a
// negative step stores them the other way round in memory).
std::size_t EncodeFrameLines(const FrameFormat& format, const uint8_t* stored_line0,
                             std::ptrdiff_t line_step, uint8_t* out, const FieldKernels& kernels);

// Codes the frame at `pixels` into `out`, which must hold
// MaxCompressedFrameBytes(width, height) bytes. Returns the frame's size.
std::size_t EncodeFrame(const FrameFormat& format, const uint8_t* pixels, uint8_t* out,
                        const FieldKernels& kernels);

enum class DecodeStatus {
  kDecoded,      // both fields decoded in full
  kNotAFrame,    // no magic "QTZ1" or no field chunk: nothing was written
  kDamaged,      // a payload ran out or a chunk ran past the frame's end:
                 // decoded as far as the frame's bytes allow
};

// Decodes a compressed frame of `size` bytes into `pixels`, a frame of the
// given format. Blocks the frame does not reach keep their bytes.
DecodeStatus DecodeFrame(const FrameFormat& format, const uint8_t* frame, std::size_t size,
                         uint8_t* pixels, const FieldKernels& kernels);

DecodeStatus DecodeFrameLines(const FrameFormat& format, const uint8_t* frame, std::size_t size,
                              uint8_t* stored_line0, std::ptrdiff_t line_step,
                              const FieldKernels& kernels);

}  // namespace voxa
