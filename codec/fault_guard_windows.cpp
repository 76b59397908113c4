// The fault guard on Windows. GCC has no __try, and a longjmp straight out of
// an exception handler leaves the system in a state hosts later crash on.
// Instead a vectored handler edits the faulting thread's context so that the
// thread resumes in LeaveGuard, which jumps back to the guard's setjmp frame.
#include "codec/fault_guard.h"

#include <windows.h>

#include <atomic>

namespace voxa {
namespace {

// Below the faulting frame's stack pointer, room that the jump may use.
constexpr ULONG_PTR kResumeStackGap = 256;

std::atomic<PVOID> g_handler{nullptr};
std::atomic<DWORD> g_slot{TLS_OUT_OF_INDEXES};

bool IsHardwareFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
      return true;
    default:
      return false;
  }
}

[[noreturn]] __attribute__((noinline)) void LeaveGuard(void** frame) {
  __builtin_longjmp(frame, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const DWORD slot = g_slot.load(std::memory_order_acquire);
  if (slot == TLS_OUT_OF_INDEXES) return EXCEPTION_CONTINUE_SEARCH;
  void** frame = static_cast<void**>(TlsGetValue(slot));
  if (frame == nullptr || !IsHardwareFault(info->ExceptionRecord->ExceptionCode)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  CONTEXT* c = info->ContextRecord;
#if defined(_WIN64)
  // A fresh aligned stack below the faulting one; the function is entered as
  // if called, with the frame in the first argument register.
  ULONG_PTR sp = (c->Rsp - kResumeStackGap) & ~ULONG_PTR{15};
  sp -= sizeof(ULONG_PTR);  // the return address a call would have pushed
  c->Rsp = sp;
  c->Rcx = reinterpret_cast<ULONG_PTR>(frame);
  c->Rip = reinterpret_cast<ULONG_PTR>(&LeaveGuard);
#else
  ULONG_PTR sp = (c->Esp - kResumeStackGap) & ~ULONG_PTR{15};
  *reinterpret_cast<ULONG_PTR*>(sp) = reinterpret_cast<ULONG_PTR>(frame);  // the argument
  sp -= sizeof(ULONG_PTR);
  *reinterpret_cast<ULONG_PTR*>(sp) = 0;  // a return address never used
  c->Esp = sp;
  c->Eip = reinterpret_cast<ULONG_PTR>(&LeaveGuard);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Installed at the first guard, not at load: the attach hook does only what
// it must.
void Install() {
  if (g_slot.load(std::memory_order_acquire) == TLS_OUT_OF_INDEXES) {
    const DWORD slot = TlsAlloc();
    DWORD expected = TLS_OUT_OF_INDEXES;
    if (slot != TLS_OUT_OF_INDEXES &&
        !g_slot.compare_exchange_strong(expected, slot, std::memory_order_acq_rel)) {
      TlsFree(slot);  // another thread was first
    }
  }
  if (g_handler.load(std::memory_order_acquire) == nullptr) {
    PVOID handler = AddVectoredExceptionHandler(1, OnException);
    PVOID expected = nullptr;
    if (handler != nullptr && !g_handler.compare_exchange_strong(expected, handler)) {
      RemoveVectoredExceptionHandler(handler);
    }
  }
}

// The frame lives in this function; everything that must survive the jump
// back is either set before __builtin_setjmp or re-read after it.
__attribute__((noinline)) bool RunInFrame(DWORD slot_index, GuardedFn fn, void* context) {
  void* frame[5];
  const volatile DWORD slot = slot_index;
  void* const volatile outer = TlsGetValue(slot);
  if (__builtin_setjmp(frame) != 0) {
    TlsSetValue(slot, outer);
    return false;
  }
  TlsSetValue(slot, frame);
  fn(context);
  TlsSetValue(slot, outer);
  return true;
}

}  // namespace

bool RunGuarded(GuardedFn fn, void* context) {
  Install();
  const DWORD slot = g_slot.load(std::memory_order_acquire);
  if (slot == TLS_OUT_OF_INDEXES || g_handler.load(std::memory_order_acquire) == nullptr) {
    fn(context);  // no guard could be had; run unguarded rather than not at all
    return true;
  }
  return RunInFrame(slot, fn, context);
}

void ShutdownFaultGuard() {
  if (PVOID handler = g_handler.exchange(nullptr)) RemoveVectoredExceptionHandler(handler);
  const DWORD slot = g_slot.exchange(TLS_OUT_OF_INDEXES);
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
}

}  // namespace voxa
