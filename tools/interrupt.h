// A run stops when it is asked to: Ctrl-C (SIGINT), a termination request
// (SIGTERM), a closed terminal (SIGHUP) or SIGQUIT. It stops promptly, also
// while it waits for input, for a reader or for a writer: the signals do not
// restart interrupted calls, every wait of the tool's own is a poll that a
// signal ends, and FFmpeg's libraries ask an interrupt callback. The run
// then unwinds like a failed one (removing what it made) and exits with
// 128 + the signal's number.
#pragma once

#include <stdexcept>
#include <string>

namespace voxa {

// A signal stopped the run.
struct Interrupted : std::runtime_error {
  explicit Interrupted(int signal_number);
  int signal_number;
  int exit_status() const { return 128 + signal_number; }
};

// "SIGTERM" and the like.
std::string SignalName(int signal_number);

// Catches the signals while it lives (one at a time in a process) and puts
// the previous actions back when it goes. A hang-up that was ignored when
// the tool started (nohup) stays ignored.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// The first signal that came while a guard lived, or 0.
int InterruptSignal();
// Throws Interrupted once a signal came.
void ThrowIfInterrupted();

// Waits until `fd` can be read (or written) without blocking, or a signal
// came: false then. A file that is ready at once (a regular file, an end of
// file, an error) returns at once.
bool WaitForDescriptor(int fd, bool for_writing);
// Waits `milliseconds`, unless a signal comes: false then.
bool Pause(int milliseconds);

}  // namespace voxa
