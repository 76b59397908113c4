// The fault guard on POSIX systems: a signal handler jumps back to the
// innermost guard of the faulting thread.
#include "codec/fault_guard.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

#if defined(VOXA_HAVE_X86_KERNELS)
#include "codec/simd/wide_registers.h"
#endif

namespace voxa {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

thread_local sigjmp_buf* t_guard = nullptr;
struct sigaction g_previous[sizeof kFaultSignals / sizeof kFaultSignals[0]];
std::once_flag g_install_once;

void OnFault(int signal, siginfo_t*, void*) {
  if (t_guard != nullptr) siglongjmp(*t_guard, 1);
  // A fault outside any guard is not ours: hand the signal to whoever had it
  // before, and let the instruction fault again.
  for (std::size_t i = 0; i < sizeof kFaultSignals / sizeof kFaultSignals[0]; ++i) {
    if (kFaultSignals[i] == signal) sigaction(signal, &g_previous[i], nullptr);
  }
}

void Install() {
  struct sigaction action = {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < sizeof kFaultSignals / sizeof kFaultSignals[0]; ++i) {
    sigaction(kFaultSignals[i], &action, &g_previous[i]);
  }
}

}  // namespace

bool RunGuarded(GuardedFn fn, void* context) {
  std::call_once(g_install_once, Install);
  sigjmp_buf frame;
  sigjmp_buf* const outer = t_guard;
  if (sigsetjmp(frame, 1) != 0) {
    t_guard = outer;
#if defined(VOXA_HAVE_X86_KERNELS)
    ClearWideRegistersAfterFault();
#endif
    return false;
  }
  t_guard = &frame;
  fn(context);
  t_guard = outer;
  return true;
}

void ShutdownFaultGuard() {}

}  // namespace voxa
