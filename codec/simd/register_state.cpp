#include "codec/simd/register_state.h"

namespace voxa {

uint64_t ReadRegisterStateMask() {
  uint32_t low, high;
  // XGETBV with ECX 0, spelled as bytes: no instruction-set flag needed.
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
  return (uint64_t{high} << 32) | low;
}

}  // namespace voxa
