// The fault guard of 64-bit Windows: a vectored handler, installed at the
// first guard and removed when the library is unloaded, edits the faulting
// thread's context so that the thread resumes in LeaveGuard, which jumps back
// to the innermost guard's setjmp frame, kept in a thread-local slot.
#include "codec/fault_guard.h"

#include <windows.h>

#include <atomic>

#include "codec/hardware_faults_windows.h"
#include "codec/simd/wide_registers.h"

namespace voxa {
namespace {

std::atomic<PVOID> g_handler{nullptr};
std::atomic<DWORD> g_slot{TLS_OUT_OF_INDEXES};

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
  // A fresh aligned stack below the faulting one; the function is entered as
  // if called, with the frame in the first argument register.
  ULONG_PTR sp = (c->Rsp - kResumeStackGap) & ~ULONG_PTR{15};
  sp -= sizeof(ULONG_PTR);  // the return address a call would have pushed
  c->Rsp = sp;
  c->Rcx = reinterpret_cast<ULONG_PTR>(frame);
  c->Rip = reinterpret_cast<ULONG_PTR>(&LeaveGuard);
  ClearFloatingPointStack(c);
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
    ClearWideRegistersAfterFault();
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
