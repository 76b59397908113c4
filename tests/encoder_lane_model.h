// Scalar model of the vector encoders' lane arithmetic, one lane at a time,
// with the low bytes the kernels give their widened lanes: 0 for colour,
// luma and chroma, 0xFF for the alpha that scales BGRA luma and U, the pair's
// raw alpha word for V. The SSE and SSE2 variants of a family must write
// exactly these bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "codec/encode_field_walk.h"
#include "codec/field_payload.h"

namespace voxa::test {

// High half of the unsigned 16 × 16-bit product.
inline uint32_t Hi(uint32_t x, uint32_t m) { return (x & 0xFFFF) * (m & 0xFFFF) >> 16; }

// High half of the signed product, rounding towards minus infinity.
inline int32_t HiSigned(int32_t x, int32_t m) {
  return static_cast<int32_t>(static_cast<int16_t>(x)) * static_cast<int16_t>(m) >> 16;
}

// A saturating 16-bit sum or difference.
inline int32_t Saturate16(int32_t v) { return std::clamp(v, -32768, 32767); }

// A final lane stored as a byte: its signed value clamped to 0..255.
inline uint8_t LaneToByte(uint32_t lane) {
  return static_cast<uint8_t>(std::clamp<int32_t>(static_cast<int16_t>(lane), 0, 255));
}

constexpr uint32_t kColourLow = 0x00;
constexpr uint32_t kAlphaLow = 0xFF;

// One literal block from 16 BGRA pixels.
inline void ModelRgbaBlock(const uint8_t* px, uint8_t* out) {
  for (int i = 0; i < 16; ++i) {
    const uint8_t* p = px + 4 * i;
    const int32_t tb = Hi(256 * p[0] + kColourLow, 3211);
    const int32_t tg = Hi(256 * p[1] + kColourLow, 16515);
    const int32_t tr = Hi(256 * p[2] + kColourLow, 8421);
    const int32_t luma = Saturate16(Saturate16(Saturate16(tb + tg) + 2112) + tr);
    // 16-bit arithmetic shift of the product's high half.
    out[kLumaOffset + i] = LaneToByte(static_cast<int16_t>(Hi(luma, 256 * p[3] + kAlphaLow)) >> 7);
    out[kAlphaOffset + i] = static_cast<uint8_t>(255 - p[3]);
  }
  for (int k = 0; k < 8; ++k) {
    const uint8_t* l = px + 8 * k;
    const uint8_t* r = l + 4;
    const int32_t sb = l[0] + r[0], sg = l[1] + r[1], sr = l[2] + r[2];
    const int32_t bs = static_cast<int16_t>((sb * 14385) >> 10);
    const int32_t gs = static_cast<int16_t>((sg * 12059) >> 9);
    const int32_t rs = static_cast<int16_t>((sr * 14385) >> 10);
    const int32_t v =
        Saturate16(Saturate16(Saturate16(rs - (gs >> 1)) - HiSigned(bs, 10599)) + 8224);
    const int32_t u = Saturate16(
        Saturate16(Saturate16(bs - HiSigned(gs, 25912)) - HiSigned(rs, 22094)) + 8224);
    out[kUOffset + k] = LaneToByte(static_cast<int16_t>(Hi(u, 256 * l[3] + kAlphaLow)) >> 6);
    out[kVOffset + k] = LaneToByte(static_cast<int16_t>(Hi(v, 256 * r[3] + l[3])) >> 6);
  }
}

// One literal block from a Y16A block; all shifts logical.
inline void ModelY16aBlock(const uint8_t* s, uint8_t* out) {
  for (int i = 0; i < 16; ++i) {
    const uint32_t a = s[kAlphaOffset + i];
    out[kLumaOffset + i] = LaneToByte(Hi(256 * s[kLumaOffset + i], 256 * a) >> 8);
    out[kAlphaOffset + i] = static_cast<uint8_t>(255 - a);
  }
  for (int k = 0; k < 8; ++k) {
    const uint32_t a0 = s[kAlphaOffset + 2 * k], a1 = s[kAlphaOffset + 2 * k + 1];
    out[kUOffset + k] = LaneToByte(Hi(256 * s[kUOffset + k], 256 * a0) >> 8);
    out[kVOffset + k] = LaneToByte(Hi(256 * s[kVOffset + k], 256 * a1 + a0) >> 8);
  }
}

// The field frame of the vector encoders: nothing at all for a field without
// a whole block; blocks with an alpha of 2 or more literal.
template <std::size_t kBlockBytes, std::size_t kAlphaAt, std::size_t kAlphaStride,
          bool kBottomUp, void (*kCodeBlock)(const uint8_t*, uint8_t*)>
void ModelEncodeField(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                      std::ptrdiff_t step, uint8_t** run_word) {
  if (lines == 0 || width < kBlockPixels) return;
  RunWriter runs(*out, *run_word);
  for (uint32_t l = 0; l < lines; ++l) {
    const uint32_t row = kBottomUp ? lines - 1 - l : l;
    const uint8_t* block = source + static_cast<std::ptrdiff_t>(row) * step;
    for (uint32_t b = 0; b < width / kBlockPixels; ++b, block += kBlockBytes) {
      uint8_t most = 0;
      for (std::size_t i = 0; i < kBlockPixels; ++i) {
        most = std::max(most, block[kAlphaAt + i * kAlphaStride]);
      }
      if (most >= kLiteralAlphaThreshold) {
        kCodeBlock(block, runs.Literal());
      } else {
        runs.Transparent();
      }
    }
  }
  runs.Finish(out, run_word);
}

inline constexpr auto EncodeRgbaField_model = ModelEncodeField<64, 3, 4, true, ModelRgbaBlock>;
inline constexpr auto EncodeY16aField_model =
    ModelEncodeField<48, kAlphaOffset, 1, false, ModelY16aBlock>;

}  // namespace voxa::test
