// Runs a function and turns a hardware fault inside it (an access violation,
// an illegal instruction, a division by zero and the like) into a result, as
// a structured-exception guard would. Guards nest; each thread has its own.
#pragma once

namespace voxa {

using GuardedFn = void (*)(void* context);

// True when `fn` returned, false when a fault ended it. Whatever `fn` had
// written stays written.
bool RunGuarded(GuardedFn fn, void* context);

// Removes the process-wide fault handler, if one was installed. A library
// must do this before it is unloaded.
void ShutdownFaultGuard();

}  // namespace voxa
