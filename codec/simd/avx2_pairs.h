// Two blocks in one 256-bit register, one in each 128-bit half. AVX2's
// unpacks, packs and shifts of whole registers stay within the halves, so
// each half goes through the very lane arithmetic of the SSE2 kernels and
// the bytes come out the same. Included only by the *_avx2.cpp units (see
// codec/encode_field_walk.h for why everything here has internal linkage).
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

// The helpers of a kernel are inlined into it, so that all wide code lies in
// the four functions named ..Field_avx2 (a build check counts them).
#define VOXA_AVX2_INLINE inline __attribute__((always_inline))

namespace voxa {
namespace {

VOXA_AVX2_INLINE __m128i LoadHalf(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// 16 bytes of the first block and 16 of the second (the first again when
// the pair is the last block of an odd count; its half is then not stored).
VOXA_AVX2_INLINE __m256i LoadPair(const uint8_t* first, const uint8_t* second) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(LoadHalf(first)), LoadHalf(second), 1);
}

VOXA_AVX2_INLINE void StoreLow(uint8_t* p, __m256i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
}

VOXA_AVX2_INLINE void StoreHigh(uint8_t* p, __m256i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_extracti128_si256(v, 1));
}

// The halves to `offset` bytes into their blocks; a null block is skipped.
VOXA_AVX2_INLINE void StorePair(uint8_t* first, uint8_t* second, std::size_t offset, __m256i v) {
  if (first != nullptr) StoreLow(first + offset, v);
  if (second != nullptr) StoreHigh(second + offset, v);
}

// A row of a constant table (its 8-lane form) in both halves.
VOXA_AVX2_INLINE __m256i BroadcastRow(const uint16_t* table, int row) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table) + row));
}

}  // namespace
}  // namespace voxa
