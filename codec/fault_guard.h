// Runs a function and turns a hardware fault inside it (an access violation,
// an illegal instruction, a division by zero and the like) into a result, as
// a structured-exception guard would. Guards nest; each thread has its own.
//
// On Windows the guard is a handler of the guarded call's own stack frame:
// it sees only exceptions raised inside that call, after the host's vectored
// handlers, and leaves every other exception, the thread's last error and
// the rest of the host's state alone. Elsewhere a library has no such
// handler (fault signals belong to the whole process, and a host runtime may
// own them), so the call runs unguarded: the codec checks every bound itself.
#pragma once

namespace voxa {

using GuardedFn = void (*)(void* context);

// True when `fn` returned, false when a fault ended it. Whatever `fn` had
// written stays written.
bool RunGuarded(GuardedFn fn, void* context);

}  // namespace voxa
