// Fixed-point colour arithmetic shared by the portable kernels: BT.601 studio
// range, 16 fractional bits, 32768 added for rounding to nearest.
#pragma once

#include <array>
#include <cstdint>

namespace voxa {

// Limits a signed value to a byte: below 0 gives 0, above 255 gives 255.
inline uint8_t ClampToByte(int64_t value) {
  return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// x / 255 rounded down, without a divide: 0x80808081 / 2^39 is 1/255 close
// enough that the quotient is exact for every 32-bit x.
inline uint32_t DivideBy255(uint32_t x) {
  return static_cast<uint32_t>((static_cast<uint64_t>(x) * 0x80808081u) >> 39);
}

// n / alpha rounded down, for n below 65536 and alpha 1..255, by a multiply:
// with m = ceil(2^24 / alpha) the error term stays below 1/256 <= 1/alpha, so
// the quotient is exact. The decoders divide up to six times a pixel pair.
struct AlphaReciprocals {
  std::array<uint32_t, 256> m{};
  constexpr AlphaReciprocals() {
    for (uint32_t a = 1; a < 256; ++a) m[a] = ((uint32_t{1} << 24) + a - 1) / a;
  }
};
inline constexpr AlphaReciprocals kAlphaReciprocals{};

inline uint32_t DivideByAlpha(uint32_t n, uint32_t alpha) {
  return static_cast<uint32_t>((static_cast<uint64_t>(n) * kAlphaReciprocals.m[alpha]) >> 24);
}

// Studio-range luma (16..235) of one BGR pixel: 0.098 B + 0.504 G + 0.257 R + 16.
inline int32_t RgbToLuma(int32_t b, int32_t g, int32_t r) {
  return ((6423 * b + 33030 * g + 16843 * r + 32768) >> 16) + 16;
}

// Chroma of a pixel pair from the pair's channel sums, averaged by halving
// toward zero, centred on 128 (16..240).
inline int32_t PairSumsToU(int32_t sum_b, int32_t sum_g, int32_t sum_r) {
  const int32_t d = (28770 * sum_b - 19071 * sum_g - 9699 * sum_r + 32768) >> 16;
  return d / 2 + 128;
}

inline int32_t PairSumsToV(int32_t sum_b, int32_t sum_g, int32_t sum_r) {
  const int32_t d = (28770 * sum_r - 24117 * sum_g - 4653 * sum_b + 32768) >> 16;
  return d / 2 + 128;
}

// value × alpha / 255, rounded to nearest: premultiplication of the BGRA path.
inline uint8_t PremultiplyBy255(int32_t value, uint32_t alpha) {
  return static_cast<uint8_t>(DivideBy255(static_cast<uint32_t>(value) * alpha + 128));
}

// Studio-range YCbCr to one channel. Y, U and V here are un-premultiplied and
// may exceed 255 for payload bytes no encoder writes, so the sums are formed
// in 64 bits and limited afterwards.
inline uint8_t YuvToBlue(int64_t y, int64_t u) {
  return ClampToByte((76284 * y + 132252 * u - 18116032) >> 16);
}

inline uint8_t YuvToGreen(int64_t y, int64_t u, int64_t v) {
  return ClampToByte((76284 * y - 53281 * v - 25690 * u + 8920512) >> 16);
}

inline uint8_t YuvToRed(int64_t y, int64_t v) {
  return ClampToByte((76284 * y + 104595 * v - 14575936) >> 16);
}

}  // namespace voxa
