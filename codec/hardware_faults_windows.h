// The exceptions a fault guard on Windows turns into a failure result: those
// the processor raises. Software exceptions (C++ throws, breakpoints, a stack
// overflow) pass on to whoever else handles them.
#pragma once

#include <windows.h>

namespace voxa {

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

}  // namespace voxa
