#include "codec/simd/wide_registers.h"

namespace voxa {

std::atomic<bool> g_wide_registers_used{false};

void ClearWideRegistersAfterFault() {
  if (g_wide_registers_used.load(std::memory_order_relaxed)) ClearUpperRegisters_avx2();
}

}  // namespace voxa
