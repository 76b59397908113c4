// The frame shared by every decoder, portable and vector: the walk over a
// field's run words and blocks. Included only by the decoder translation
// units; everything here has internal linkage, so each instruction set gets
// its own copy and no inline function compiled with vector instructions can
// stand in for the portable one at link time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/field_payload.h"
#include "codec/run_words.h"

namespace voxa {
namespace {

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
        run = LoadWord(p);
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
