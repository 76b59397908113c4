// A scalar model of the vector decoders' lane arithmetic, one literal block
// at a time: what each 16-bit lane holds, computed value by value.
//
// The reciprocal scale is derived here with integer arithmetic that rounds
// like single precision, independently of the decoders' compile-time table
// and of the host's floating-point unit.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace voxa::test {

enum class Lanes { kFour, kEight };  // SSE (MMX registers), SSE2

// Low bytes of the colour stage's widenings, as the decoders choose them.
constexpr int kModelLumaLowByte = 16;
constexpr int kModelChromaLowByte = 0;

// Rounds m × 2^-shift to the nearest integer, ties to even (shift > 0).
inline uint64_t RoundShiftEven(uint64_t m, int shift) {
  const uint64_t q = m >> shift, rest = m & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  return q + (rest > half || (rest == half && (q & 1) != 0) ? 1 : 0);
}

// fl(1 / a) = m × 2^-e with a 24-bit significand m, correctly rounded; then
// fl(m × 32767 × 2^-e), then rounded to an integer (ties to even); narrowed
// to 16 bits with saturation and doubled modulo 65536.
inline uint16_t ModelReciprocalScale(int alpha) {
  if (alpha == 0) {
    // +infinity converts to INT32_MIN; saturated to -32768; doubled: 0.
    const int32_t r = -32768;
    return static_cast<uint16_t>(r * 2);
  }
  int k = 0;
  while ((1 << k) < alpha) ++k;  // 2^k / a in [1, 2)
  // Significand of 1 / a: 2^(k + 23) / a rounded to nearest even.
  const uint64_t num = uint64_t{1} << (k + 23 + 1);
  uint64_t m = num / static_cast<uint64_t>(alpha);  // one extra bit
  const bool inexact = num % static_cast<uint64_t>(alpha) != 0;
  // m holds 25 bits; round off the last, with the remainder as sticky bit.
  uint64_t significand = m >> 1;
  if ((m & 1) != 0 && (inexact || (significand & 1) != 0)) ++significand;
  int exponent = k + 23;  // value = significand × 2^-exponent
  // Product with 32767, rounded back to 24 bits.
  uint64_t product = significand * 32767;
  int bits = 0;
  while ((product >> bits) != 0) ++bits;
  if (bits > 24) {
    product = RoundShiftEven(product, bits - 24);
    exponent -= bits - 24;
  }
  const int64_t f = exponent > 0 ? static_cast<int64_t>(RoundShiftEven(product, exponent))
                                 : static_cast<int64_t>(product << -exponent);
  const int32_t r = static_cast<int32_t>(std::clamp<int64_t>(f, -32768, 32767));
  return static_cast<uint16_t>(r * 2);
}

// 16-bit lane operations.
inline int32_t Hi(int32_t x, int32_t m) {  // unsigned lanes
  return static_cast<int32_t>((static_cast<uint32_t>(x & 0xFFFF) * (m & 0xFFFF)) >> 16);
}
inline int32_t AsSigned(int32_t x) { return static_cast<int16_t>(static_cast<uint16_t>(x)); }
inline int32_t His(int32_t x, int32_t m) {  // signed lanes, rounding down
  return (AsSigned(x) * AsSigned(m)) >> 16;
}
inline int32_t AddS(int32_t a, int32_t b) {
  return std::clamp(AsSigned(a) + AsSigned(b), -32768, 32767);
}
inline uint8_t ClampByte(int32_t x) { return static_cast<uint8_t>(std::clamp(x, 0, 255)); }

// Stage 1: Y′, U′, V′ and alpha of a literal block.
struct Unpremultiplied {
  std::array<int32_t, 16> y, alpha;
  std::array<int32_t, 8> u, v;
};

inline Unpremultiplied ModelStageOne(const uint8_t* in) {
  Unpremultiplied s{};
  std::array<int32_t, 16> rc{};
  for (int i = 0; i < 16; ++i) {
    s.alpha[i] = 255 - in[16 + i];
    rc[i] = ModelReciprocalScale(s.alpha[i]);
  }
  auto divide = [](int32_t c, int32_t r) { return std::min(Hi(256 * c, r), 255); };
  for (int i = 0; i < 16; ++i) s.y[i] = divide(in[i], rc[i]);
  for (int k = 0; k < 8; ++k) {
    s.u[k] = divide(in[32 + k], rc[2 * k]);
    s.v[k] = divide(in[40 + k], rc[2 * k + 1]);
  }
  return s;
}

// The decoders' rule for a transparent pixel: the component it cannot carry
// comes from the pair on the left in the line (at the block's edge, the last
// pair of `left`, the previous block when literal), else from the pair on the
// right in the block, else 128; only stored values, never borrowed ones.
inline void ModelBorrowChroma(Unpremultiplied& s, const uint8_t* left) {
  const Unpremultiplied stored = s;
  const auto carries = [&](int pixel) { return stored.alpha[pixel] != 0; };
  for (int k = 0; k < 8; ++k) {
    for (int side = 0; side < 2; ++side) {  // 0: U, 1: V
      const int own = 2 * k + side;
      if (carries(own)) continue;
      const std::array<int32_t, 8>& from = side == 0 ? stored.u : stored.v;
      int32_t value = 128;
      if (k > 0 && carries(own - 2)) {
        value = from[k - 1];
      } else if (k == 0 && left != nullptr && left[30 + side] != 255) {
        value = std::min(Hi(256 * left[39 + 8 * side], ModelReciprocalScale(255 - left[30 + side])), 255);
      } else if (k < 7 && carries(own + 2)) {
        value = from[k + 1];
      }
      (side == 0 ? s.u : s.v)[k] = value;
    }
  }
}

inline std::array<uint8_t, 48> ModelY16aBlock(const uint8_t* in, const uint8_t* left) {
  Unpremultiplied s = ModelStageOne(in);
  ModelBorrowChroma(s, left);
  std::array<uint8_t, 48> out{};
  for (int i = 0; i < 16; ++i) {
    out[i] = static_cast<uint8_t>(s.y[i]);
    out[16 + i] = static_cast<uint8_t>(s.alpha[i]);
  }
  for (int k = 0; k < 8; ++k) {
    out[32 + k] = static_cast<uint8_t>(s.u[k]);
    out[40 + k] = static_cast<uint8_t>(s.v[k]);
  }
  return out;
}

// Chroma of pixel i in units of 1/64 centred on 0, from U′ or V′ of the pairs.
inline int32_t ModelPixelChroma(Lanes lanes, const std::array<int32_t, 8>& pairs, int i) {
  auto lane = [&](int k) {  // (256 × c + s) >> 3, logical
    return ((256 * pairs[k] + kModelChromaLowByte) & 0xFFFF) >> 3;
  };
  const int k = i / 2;
  if (lanes == Lanes::kEight) {
    // Each lane has 4096 taken off before two are summed.
    const int32_t own = AddS(lane(k), -4096);
    const int32_t next = (i % 2 == 0 || k == 7) ? own : AddS(lane(k + 1), -4096);
    return AddS(own, next);
  }
  // Four lanes: the sum of two lanes, then 8192 off. The last pixel of each
  // half takes the next value from the byte itself, shifted left by 5.
  int32_t next;
  if (i % 2 == 0) {
    next = lane(k);
  } else if (i == 7) {
    next = (pairs[4] << 5) & 0xFFFF;
  } else if (i == 15) {
    next = (pairs[7] << 5) & 0xFFFF;
  } else {
    next = lane(k + 1);
  }
  return AddS(AddS(lane(k), next), -8192);
}

// A literal block to 16 BGRA pixels; a pixel of alpha 0 is four zeros.
inline std::array<uint8_t, 64> ModelRgbaBlock(Lanes lanes, const uint8_t* in, const uint8_t* left) {
  Unpremultiplied s = ModelStageOne(in);
  ModelBorrowChroma(s, left);
  std::array<uint8_t, 64> out{};
  for (int i = 0; i < 16; ++i) {
    if (s.alpha[i] == 0) continue;
    const int32_t cu = ModelPixelChroma(lanes, s.u, i);
    const int32_t cv = ModelPixelChroma(lanes, s.v, i);
    const int32_t yt = AddS(Hi(256 * s.y[i] + kModelLumaLowByte, 2384), -145);
    const int32_t g = AsSigned(AddS(AddS(His(cu, -3203), yt), His(cv, -6660))) >> 3;
    const int32_t b = AsSigned(AddS(His(cu, 16531), yt)) >> 3;
    const int32_t r = AsSigned(AddS(His(cv, 13074), yt)) >> 3;
    out[4 * i] = ClampByte(b);
    out[4 * i + 1] = ClampByte(g);
    out[4 * i + 2] = ClampByte(r);
    out[4 * i + 3] = static_cast<uint8_t>(s.alpha[i]);
  }
  return out;
}

}  // namespace voxa::test
