// The fault guard of 32-bit Windows: a handler record on the thread's own
// exception chain (the list at fs:[0] that every 32-bit Windows walks, from
// Windows 95 and NT on), linked for the guarded call and unlinked after it.
// GCC has no __try, so the record is linked by hand; on a fault the handler
// makes the thread continue in LeaveGuard, which jumps back to the guard's
// setjmp frame. Nothing is process-wide: no handler to install or remove,
// no thread-local slot.
#include "codec/fault_guard.h"

#include <windows.h>

#include "codec/hardware_faults_windows.h"
#include "codec/simd/wide_registers.h"

namespace voxa {
namespace {

// The record must come first: the system hands the handler the address of
// the record it found on the chain, which is then the guard's own.
struct GuardRecord {
  EXCEPTION_REGISTRATION_RECORD link;
  void* resume[5];
};

constexpr DWORD kUnwinding = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;

// Takes the guard's frame in a register (ecx), so the handler need not
// write it to the stack.
[[noreturn]] __attribute__((noinline, fastcall)) void LeaveGuard(void** frame) {
  __builtin_longjmp(frame, 1);
}

EXCEPTION_REGISTRATION_RECORD* ExceptionChain() {
  EXCEPTION_REGISTRATION_RECORD* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head) : : "memory");
  return head;
}

void SetExceptionChain(EXCEPTION_REGISTRATION_RECORD* head) {
  asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

EXCEPTION_DISPOSITION NTAPI OnException(EXCEPTION_RECORD* record, void* established,
                                        CONTEXT* c, void*) {
  if ((record->ExceptionFlags & kUnwinding) != 0 || !IsHardwareFault(record->ExceptionCode)) {
    return ExceptionContinueSearch;
  }
  ContinueAtGuard(c, &LeaveGuard, static_cast<GuardRecord*>(established)->resume);
  return ExceptionContinueExecution;
}

}  // namespace

// The record lives in this frame; everything that must survive the jump
// back is set before __builtin_setjmp. Records that the faulting code linked
// after ours are dropped with it, as an unwind would.
__attribute__((noinline)) bool RunGuardedCall(void (*fn)(void*), void* context) {
  GuardRecord guard;
  guard.link.Next = ExceptionChain();
  guard.link.Handler = OnException;
  if (__builtin_setjmp(guard.resume) != 0) {
    SetExceptionChain(guard.link.Next);
    ClearWideRegistersAfterFault();
    return false;
  }
  SetExceptionChain(&guard.link);
  fn(context);
  SetExceptionChain(guard.link.Next);
  return true;
}

}  // namespace voxa
