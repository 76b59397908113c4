// Force-included into every file of the fuzz preset's build (clang).
//
// The SSE decoders read unaligned 8-byte operands through __m64_u, a type
// GCC's <mmintrin.h> declares and clang 14's does not. Until the codec reads
// them in a way both compilers take, this declares it as GCC does, so that
// the vector kernels build and get fuzzed too.
#pragma once

#if defined(__clang__) && (defined(__i386__) || defined(__x86_64__))
#include <mmintrin.h>
typedef int __m64_u __attribute__((__vector_size__(8), __may_alias__, __aligned__(1)));
#endif
