// The vector variants of the four kernel families: SSE (4 lanes of 16 bits in
// MMX registers, with the SSE integer extensions), SSE2 (8 lanes) and AVX2
// (two blocks at once, each in 8 lanes of a 128-bit half). Each
// lives in a translation unit of its own, compiled for its instruction set
// only, so nothing vector is reachable from the portable path. They read the
// constant tables, which must be prepared before their first call.
#pragma once

#include <cstddef>
#include <cstdint>

// Hosts may call with a stack aligned to 4 bytes only; 32-bit vector entries
// realign it.
#if defined(__i386__)
#define VOXA_VECTOR_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VOXA_VECTOR_ENTRY
#endif

namespace voxa {

#define VOXA_DECLARE_VARIANT(suffix)                                                         \
  void EncodeRgbaField_##suffix(uint8_t** out, const uint8_t* source, uint32_t width,        \
                                uint32_t lines, std::ptrdiff_t step, uint8_t** run_word);    \
  bool DecodeRgbaField_##suffix(uint8_t* destination, const uint8_t** in,                    \
                                const uint8_t* in_end, uint32_t width, uint32_t lines,       \
                                std::ptrdiff_t step, int32_t* pending);                      \
  void EncodeY16aField_##suffix(uint8_t** out, const uint8_t* source, uint32_t width,        \
                                uint32_t lines, std::ptrdiff_t step, uint8_t** run_word);    \
  bool DecodeY16aField_##suffix(uint8_t* destination, const uint8_t** in,                    \
                                const uint8_t* in_end, uint32_t width, uint32_t lines,       \
                                std::ptrdiff_t step, int32_t* pending);

VOXA_DECLARE_VARIANT(sse)
VOXA_DECLARE_VARIANT(sse2)
VOXA_DECLARE_VARIANT(avx2)

#undef VOXA_DECLARE_VARIANT

}  // namespace voxa
