// The fault guard of 64-bit Windows: the guarded call goes through a small
// function whose entry in the image's unwind tables names a handler, as
// __try/__except compiles. The system asks that handler only about
// exceptions raised inside the call, and only after the host's vectored
// handlers had their turn; on a hardware fault it makes the thread continue
// in LeaveGuard, which jumps back to the guard's setjmp frame. Nothing is
// process-wide: no handler to install or remove, no thread-local slot, no
// call that could change the thread's last error.
#include "codec/fault_guard.h"

#include <windows.h>

#include "codec/hardware_faults_windows.h"
#include "codec/simd/wide_registers.h"

// CallWithFaultHandler(fn, context, resume) calls fn(context). Written out so
// that its frame has a known layout: the guard's resume buffer lies 32 bytes
// above the stack pointer of its body, which is the frame address the
// system hands the handler (the 32 bytes below are the callee's home area).
extern "C" void voxa_CallWithFaultHandler(void (*fn)(void*), void* context, void** resume);
extern "C" EXCEPTION_DISPOSITION voxa_OnGuardedFault(EXCEPTION_RECORD* record, void* frame,
                                                     CONTEXT* c, void* dispatcher);

asm(R"(
    .text
    .p2align 4
    .def voxa_CallWithFaultHandler; .scl 3; .type 32; .endef
voxa_CallWithFaultHandler:
    .seh_proc voxa_CallWithFaultHandler
    .seh_handler voxa_OnGuardedFault, @except
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %r8, 32(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    nop
    addq $40, %rsp
    ret
    .seh_endproc
)");

namespace voxa {
namespace {

constexpr std::size_t kResumeSlot = 32;
constexpr DWORD kUnwinding = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;

[[noreturn]] __attribute__((noinline)) void LeaveGuard(void** frame) {
  __builtin_longjmp(frame, 1);
}

}  // namespace

// The resume buffer lives in this frame; everything that must survive the
// jump back is set before __builtin_setjmp.
__attribute__((noinline)) bool RunGuardedCall(void (*fn)(void*), void* context) {
  void* resume[5];
  if (__builtin_setjmp(resume) != 0) {
    ClearWideRegistersAfterFault();
    return false;
  }
  voxa_CallWithFaultHandler(fn, context, resume);
  return true;
}

}  // namespace voxa

extern "C" EXCEPTION_DISPOSITION voxa_OnGuardedFault(EXCEPTION_RECORD* record, void* frame,
                                                     CONTEXT* c, void*) {
  if ((record->ExceptionFlags & voxa::kUnwinding) != 0 ||
      !voxa::IsHardwareFault(record->ExceptionCode)) {
    return ExceptionContinueSearch;
  }
  void** const resume = *reinterpret_cast<void***>(static_cast<char*>(frame) + voxa::kResumeSlot);
  voxa::ContinueAtGuard(c, &voxa::LeaveGuard, resume);
  return ExceptionContinueExecution;
}
