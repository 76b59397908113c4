// The field payload: a block run-length code over blocks of 16 pixels.
//
// A payload is a sequence of 32-bit little-endian run words, each followed by
// the literal blocks it announces. A word of -n says the next n blocks are
// transparent (nothing else is stored for them); +n says the next n blocks are
// literal and their 48-byte records follow the word. A lone 0 is the whole
// payload of a field without blocks. Runs go on across line ends.
//
// Literal block, 48 bytes: premultiplied luma of pixels 0-15, inverse alpha of
// pixels 0-15, U of pairs 0-7 (premultiplied by the left pixel's alpha), V of
// pairs 0-7 (premultiplied by the right pixel's alpha).
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/run_words.h"

namespace voxa {

constexpr uint32_t kBlockPixels = 16;
constexpr std::size_t kRunWordBytes = 4;
constexpr std::size_t kLiteralBlockBytes = 48;

// Offsets inside a literal block (and inside a Y16A block, which has the
// same layout with plain values and alpha instead of inverse alpha).
constexpr std::size_t kLumaOffset = 0;
constexpr std::size_t kAlphaOffset = 16;
constexpr std::size_t kUOffset = 32;
constexpr std::size_t kVOffset = 40;

// Blocks of alpha 0 or 1 only are stored as transparent.
constexpr uint8_t kLiteralAlphaThreshold = 2;

// Blocks in a field of the given geometry.
inline uint64_t FieldBlockCount(uint32_t width, uint32_t lines) {
  return static_cast<uint64_t>(width / kBlockPixels) * lines;
}

// The most a field payload can take: one run word and every block literal.
inline uint64_t MaxFieldPayloadBytes(uint32_t width, uint32_t lines) {
  return kRunWordBytes + kLiteralBlockBytes * FieldBlockCount(width, lines);
}

}  // namespace voxa
