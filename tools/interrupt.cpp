#include "tools/interrupt.h"

#include <cerrno>
#include <csignal>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>
#endif

namespace voxa {
namespace {

volatile std::sig_atomic_t g_signal = 0;

#if defined(_WIN32)

extern "C" void OnSignal(int signal_number) {
  if (g_signal == 0) g_signal = signal_number;
}

void (*g_previous_int)(int) = SIG_DFL;
void (*g_previous_term)(int) = SIG_DFL;

#else

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr std::size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

// The handler writes a byte here and every wait polls it too: a signal that
// comes just before a wait ends it as surely as one that comes during it.
int g_wake[2] = {-1, -1};
pthread_t g_run_thread;
struct sigaction g_previous[kSignalCount];
bool g_caught[kSignalCount] = {};

extern "C" void OnSignal(int signal_number) {
  const int saved = errno;
  if (g_signal == 0) g_signal = signal_number;
  const ssize_t written = write(g_wake[1], "", 1);  // a full pipe has a byte waiting already
  static_cast<void>(written);
  // A call blocked in the run's thread returns only when the signal reaches
  // that thread; the coding threads hand it on.
  if (!pthread_equal(pthread_self(), g_run_thread)) pthread_kill(g_run_thread, signal_number);
  errno = saved;
}

void DrainWakePipe() {
  char bytes[64];
  while (read(g_wake[0], bytes, sizeof bytes) > 0) {
  }
}

#endif

}  // namespace

Interrupted::Interrupted(int number)
    : std::runtime_error("interrupted by " + SignalName(number)), signal_number(number) {}

std::string SignalName(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
#if !defined(_WIN32)
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
#endif
  }
  return "signal " + std::to_string(signal_number);
}

InterruptGuard::InterruptGuard() {
  g_signal = 0;
#if defined(_WIN32)
  g_previous_int = std::signal(SIGINT, OnSignal);
  g_previous_term = std::signal(SIGTERM, OnSignal);
#else
  if (g_wake[0] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
  if (g_wake[0] >= 0) DrainWakePipe();
  g_run_thread = pthread_self();
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int s : kSignals) sigaddset(&action.sa_mask, s);
  action.sa_flags = 0;  // no SA_RESTART: a blocked call returns with EINTR
  for (std::size_t i = 0; i < kSignalCount; ++i) {
    g_caught[i] = false;
    if (sigaction(kSignals[i], nullptr, &g_previous[i]) != 0) continue;
    if (kSignals[i] == SIGHUP && g_previous[i].sa_handler == SIG_IGN) continue;
    g_caught[i] = sigaction(kSignals[i], &action, nullptr) == 0;
  }
#endif
}

InterruptGuard::~InterruptGuard() {
#if defined(_WIN32)
  std::signal(SIGINT, g_previous_int);
  std::signal(SIGTERM, g_previous_term);
#else
  for (std::size_t i = 0; i < kSignalCount; ++i) {
    if (g_caught[i]) sigaction(kSignals[i], &g_previous[i], nullptr);
  }
#endif
}

int InterruptSignal() { return g_signal; }

void ThrowIfInterrupted() {
  if (g_signal != 0) throw Interrupted(g_signal);
}

#if defined(_WIN32)

bool WaitForDescriptor(int, bool) { return g_signal == 0; }

bool Pause(int milliseconds) {
  if (g_signal == 0) Sleep(static_cast<DWORD>(milliseconds));
  return g_signal == 0;
}

#else

bool WaitForDescriptor(int fd, bool for_writing) {
  while (g_signal == 0) {
    pollfd fds[2] = {{fd, static_cast<short>(for_writing ? POLLOUT : POLLIN), 0},
                     {g_wake[0], POLLIN, 0}};
    const int ready = poll(fds, 2, -1);
    // An error of the descriptor is for the read or write to report.
    if (ready < 0 && errno != EINTR) return true;
    if (ready > 0 && fds[0].revents != 0) return g_signal == 0;
    if (ready > 0 && g_signal == 0) DrainWakePipe();  // a byte of an earlier run
  }
  return false;
}

bool Pause(int milliseconds) {
  if (g_signal == 0) {
    pollfd wake = {g_wake[0], POLLIN, 0};
    poll(&wake, 1, milliseconds);
  }
  return g_signal == 0;
}

#endif

}  // namespace voxa
