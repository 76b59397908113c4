// What the four vector decoders share: the walk over a field's run words and
// blocks, and the reciprocal scale of every alpha.
//
// Included only by the decoders' translation units. Everything here has
// internal linkage, so each instruction set gets its own copy and no inline
// function compiled with SSE2 can stand in for the SSE one at link time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/chroma_borrowing.h"
#include "codec/field_payload.h"

namespace voxa {
namespace {

// Rc(a) = 2 × round-to-nearest-even(fl(fl(1 / a) × 32767)), the 16-bit
// multiplier that divides a value widened to 256 × c by alpha on a scale of
// 256 / a: hi(256 × c, Rc(a)) ≈ c × 256 / a. The reciprocal is the exactly
// rounded single-precision one, fixed at compile time, so every processor
// decodes the same bytes and no floating-point state (rounding mode,
// unmasked exceptions) of the host matters. Alpha 0 gets 0: the reciprocal
// +infinity converts to the most negative integer, which narrows to -32768
// and doubles to 0 modulo 65536, so a pixel of alpha 0 decodes to zeros.
constexpr uint16_t ReciprocalScale(int alpha) {
  if (alpha == 0) return 0;
  // Separate statements: each product is rounded to single precision even
  // where the compiler evaluates floats with excess precision.
  const float reciprocal = 1.0f / static_cast<float>(alpha);
  const float scaled = reciprocal * 32767.0f;
  int32_t n = static_cast<int32_t>(scaled);
  const float fraction = scaled - static_cast<float>(n);
  if (fraction > 0.5f || (fraction == 0.5f && (n & 1) != 0)) ++n;
  return static_cast<uint16_t>(n * 2);
}

// Indexed by the stored byte, inverse alpha: the entry for 255 - a.
struct ReciprocalTable {
  alignas(64) std::array<uint16_t, 256> by_inverse_alpha{};
  constexpr ReciprocalTable() {
    for (int inverse = 0; inverse < 256; ++inverse) {
      by_inverse_alpha[inverse] = ReciprocalScale(255 - inverse);
    }
  }
};
constexpr ReciprocalTable kReciprocals{};

static_assert(ReciprocalScale(255) == 256, "opaque pixels keep their stored values");
static_assert(ReciprocalScale(1) == 65534, "alpha 1 multiplies by 255.99");
static_assert(ReciprocalScale(0) == 0, "alpha 0 decodes to zeros");

// The vector decoders' division of a stored byte by its pixel's alpha, one
// lane's worth: hi(256 × c, Rc) limited to 255.
inline uint16_t VectorUnpremultiply(uint8_t stored, uint8_t inverse_alpha) {
  const uint32_t x = (uint32_t{stored} * 256u * kReciprocals.by_inverse_alpha[inverse_alpha]) >> 16;
  return static_cast<uint16_t>(x > 255 ? 255 : x);
}

// Low bytes of the colour stage's widenings, 256 × c + s. Luma enters the
// gain multiply as Y′ + 1/16: that adds about half a unit of 1/8 to Yt, what
// the truncating high product and the final shift lose on average, and
// brings the colours closest to the portable decoder's (mean difference on an
// opaque picture 0.21 instead of 0.23, bias -0.01 instead of -0.08). Chroma
// lanes are exact multiples: any low byte there only moves them away.
constexpr uint16_t kLumaLowByte = 16;
constexpr uint16_t kChromaLowByte = 0;

// The decoders store as usual and prefetch nothing. The decoded frame is
// read by the host right after, and non-temporal stores made mostly
// transparent frames up to a third slower on a current processor without
// making opaque ones faster; prefetch hints changed nothing, since the
// payload is read front to back, which the hardware follows by itself.
// Without non-temporal stores no store fence is needed.

// Walks the blocks of a field in payload order and hands them to the
// decoder's block writers:
//   transparent(out, n): n transparent blocks from out on (n >= 1, one line);
//   literals(out, in, left, n): n literal blocks from out on (n >= 1, one
//     line), from their payload bytes at `in`, 48 bytes each; `left` is the
//     block before the first of them on the same line when that one is
//     literal (its payload bytes), else null. The left block of each later
//     one is the one before it.
// The first line written is `first_line`, the next `line_step` bytes away;
// blocks of a line are `block_bytes` apart. Run words and literal blocks are
// read only when they end at or before `in_end`; when one does not, the walk
// stops, leaves the rest of the field as it is and returns false. The read
// position and the remainder of the current run are handed back in any case.
template <std::size_t kBlockBytes, typename Transparent, typename Literals>
inline bool WalkFieldRuns(uint8_t* first_line, std::ptrdiff_t line_step, uint32_t width,
                          uint32_t lines, const uint8_t** in, const uint8_t* in_end,
                          int32_t* pending, Transparent transparent, Literals literals) {
  const uint32_t blocks = width / kBlockPixels;
  const uint8_t* p = *in;
  int32_t run = *pending;
  bool complete = true;
  for (uint32_t l = 0; l < lines && complete; ++l) {
    uint8_t* out = first_line + static_cast<std::ptrdiff_t>(l) * line_step;
    uint32_t left = blocks;
    const uint8_t* previous = nullptr;  // the last block, when literal
    while (left != 0) {
      if (run == 0) {
        if (in_end - p < static_cast<std::ptrdiff_t>(kRunWordBytes)) {
          complete = false;
          break;
        }
        run = LoadRunWord(p);
        p += kRunWordBytes;
        if (run == 0) {
          // A zero word covers one block and leaves it as it is.
          out += kBlockBytes;
          --left;
          previous = nullptr;
          continue;
        }
      }
      if (run < 0) {
        // Magnitude in unsigned arithmetic: -INT32_MIN does not fit.
        const uint32_t magnitude = 0u - static_cast<uint32_t>(run);
        const uint32_t n = magnitude < left ? magnitude : left;
        transparent(out, n);
        previous = nullptr;
        out += static_cast<std::size_t>(n) * kBlockBytes;
        left -= n;
        run += static_cast<int32_t>(n);  // n <= left < 2^28
      } else {
        const std::ptrdiff_t bytes = in_end - p;
        const std::size_t fit =
            bytes > 0 ? static_cast<std::size_t>(bytes) / kLiteralBlockBytes : 0;
        const uint32_t wanted = static_cast<uint32_t>(run) < left ? static_cast<uint32_t>(run)
                                                                  : left;
        const uint32_t n = fit < wanted ? static_cast<uint32_t>(fit) : wanted;
        if (n != 0) {
          literals(out, p, previous, n);
          previous = p + static_cast<std::size_t>(n - 1) * kLiteralBlockBytes;
          p += static_cast<std::size_t>(n) * kLiteralBlockBytes;
          out += static_cast<std::size_t>(n) * kBlockBytes;
        }
        left -= n;
        run -= static_cast<int32_t>(n);
        if (n < wanted) {
          complete = false;
          break;
        }
      }
    }
  }
  *in = p;
  *pending = run;
  return complete;
}

// WalkFieldRuns for decoders that write one literal block at a time:
// literal(out, in, left) for each, `left` as above.
template <std::size_t kBlockBytes, typename Transparent, typename Literal>
inline bool WalkField(uint8_t* first_line, std::ptrdiff_t line_step, uint32_t width,
                      uint32_t lines, const uint8_t** in, const uint8_t* in_end,
                      int32_t* pending, Transparent transparent, Literal literal) {
  return WalkFieldRuns<kBlockBytes>(
      first_line, line_step, width, lines, in, in_end, pending, transparent,
      [&literal](uint8_t* out, const uint8_t* block, const uint8_t* left, uint32_t n) {
        for (; n != 0; --n, out += kBlockBytes, block += kLiteralBlockBytes) {
          literal(out, block, left);
          left = block;
        }
      });
}

}  // namespace
}  // namespace voxa
