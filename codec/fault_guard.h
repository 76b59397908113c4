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

#include <type_traits>

namespace voxa {

// Runs `call()`. True when it returned, false when a fault ended it; whatever
// it had written stays written. A fault leaves the call's frames at once, so
// nothing that must be destroyed or released may live inside it.
template <typename Call>
bool RunGuarded(Call&& call);

// The one entry under the template: runs fn(context).
bool RunGuardedCall(void (*fn)(void* context), void* context);

template <typename Call>
bool RunGuarded(Call&& call) {
  using Callable = std::remove_reference_t<Call>;
  return RunGuardedCall([](void* context) { (*static_cast<Callable*>(context))(); },
                        const_cast<void*>(static_cast<const void*>(&call)));
}

}  // namespace voxa
