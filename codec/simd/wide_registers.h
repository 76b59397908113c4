// The upper halves of the 256-bit registers after a fault. The AVX2 kernels
// clear them on their way out (VZEROUPPER), as every function using them
// must; a kernel ended by a fault never gets there, and the host's SSE code
// would then run with dirty upper halves, which on many processors costs a
// merge on every SSE instruction until the next VZEROUPPER. The fault guards
// therefore clear them after a fault, once an AVX2 kernel has run in the
// process (never before: VZEROUPPER faults where the system does not save
// the wide registers).
#pragma once

#include <atomic>

namespace voxa {

extern std::atomic<bool> g_wide_registers_used;

// Called by the AVX2 kernels on entry.
inline void NoteWideRegistersUsed() {
  if (!g_wide_registers_used.load(std::memory_order_relaxed)) {
    g_wide_registers_used.store(true, std::memory_order_relaxed);
  }
}

// Called by the fault guards on the thread that faulted, after the jump back.
void ClearWideRegistersAfterFault();

// VZEROUPPER, in an AVX unit of its own.
void ClearUpperRegisters_avx2();

}  // namespace voxa
