// What the fault guards of Windows share: which exceptions they take, and
// how they make the faulting thread continue at the guard.
#pragma once

#include <windows.h>

#include <cstddef>

namespace voxa {

// The exceptions a guard turns into a failure result: those the processor
// raises. Software exceptions (C++ throws, breakpoints, a stack overflow)
// pass on to whoever else handles them.
inline bool IsHardwareFault(DWORD code) {
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

// Below the faulting frame's stack pointer, room that the jump back to the
// guard may use. A handler makes the faulting thread continue in a function
// that jumps back to the guard's __builtin_setjmp frame, on a fresh stack
// below the faulting one; a jump straight out of the handler would leave the
// system's dispatcher in a state hosts later crash on. The handler writes
// nothing there itself: the dispatcher's records of the fault still lie
// below the faulting stack pointer until the thread continues.
constexpr ULONG_PTR kResumeStackGap = 256;

// The floating-point registers as a normal return leaves them: all empty.
// Vector kernels use the MMX registers, which alias the x87 stack and mark
// every register in use until they clear the state on their way out; a
// kernel ended by a fault never gets there, and the host's next x87
// arithmetic would find a full stack. The thread continues with the state
// of the context, so the context's tag words are cleared (the x87 form and
// the extended form: whichever the system restores).
inline void ClearFloatingPointStack(CONTEXT* c) {
  if ((c->ContextFlags & CONTEXT_FLOATING_POINT) == CONTEXT_FLOATING_POINT) {
#if defined(_WIN64)
    c->FltSave.TagWord = 0;  // abridged: one bit a register, 0 empty
#else
    c->FloatSave.TagWord = 0xFFFF;  // two bits a register, 11 empty
#endif
  }
#if !defined(_WIN64)
  constexpr std::size_t kAbridgedTagWord = 4;  // in the FXSAVE image
  if ((c->ContextFlags & CONTEXT_EXTENDED_REGISTERS) == CONTEXT_EXTENDED_REGISTERS) {
    c->ExtendedRegisters[kAbridgedTagWord] = 0;
  }
#endif
}

// The thread continues in `leave`, entered as if called with `resume` as its
// one argument (in ECX or RCX), on a fresh aligned stack below the faulting
// one, its return address (never used) in the slot a call would have
// pushed; with the state a call promises: the direction flag clear (the
// fault may have struck inside a backward copy) and the x87 stack empty.
template <typename Function>
void ContinueAtGuard(CONTEXT* c, Function* leave, void** resume) {
  constexpr DWORD kDirectionFlag = 0x400;
  const auto fresh_stack = [](ULONG_PTR sp) {
    return ((sp - kResumeStackGap) & ~ULONG_PTR{15}) - sizeof(ULONG_PTR);
  };
#if defined(_WIN64)
  c->Rsp = fresh_stack(c->Rsp);
  c->Rcx = reinterpret_cast<ULONG_PTR>(resume);
  c->Rip = reinterpret_cast<ULONG_PTR>(leave);
#else
  c->Esp = fresh_stack(c->Esp);
  c->Ecx = reinterpret_cast<ULONG_PTR>(resume);
  c->Eip = reinterpret_cast<ULONG_PTR>(leave);
#endif
  c->EFlags &= ~kDirectionFlag;
  ClearFloatingPointStack(c);
}

}  // namespace voxa
