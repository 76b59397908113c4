// What voxamf.dll needs of a C++ runtime, carried by the DLL itself: the
// guards of function-local statics (libvoxa makes its kernel choice in
// some) and the global operator delete. The block copies and fills come from
// msvcrt.dll, which every system with Media Foundation has.
#include <cstddef>
#include <cstdint>

#include <windows.h>

namespace {

// A guard's first byte says that its object is made; the second that a
// thread is making it. The compiler reads the first byte itself before it
// calls __cxa_guard_acquire.
char* GuardBytes(uint64_t* guard) { return reinterpret_cast<char*>(guard); }

}  // namespace

extern "C" {

// 1: the caller makes the object, then calls __cxa_guard_release (or
// __cxa_guard_abort); 0: it is made.
int __cxa_guard_acquire(uint64_t* guard) {
  char* bytes = GuardBytes(guard);
  for (;;) {
    if (__atomic_load_n(&bytes[0], __ATOMIC_ACQUIRE) != 0) return 0;
    char idle = 0;
    if (__atomic_compare_exchange_n(&bytes[1], &idle, 1, false, __ATOMIC_ACQUIRE,
                                    __ATOMIC_RELAXED)) {
      if (__atomic_load_n(&bytes[0], __ATOMIC_ACQUIRE) == 0) return 1;
      __atomic_store_n(&bytes[1], 0, __ATOMIC_RELEASE);
      return 0;
    }
    Sleep(0);  // another thread is making it: a few instructions
  }
}

void __cxa_guard_release(uint64_t* guard) {
  char* bytes = GuardBytes(guard);
  __atomic_store_n(&bytes[0], 1, __ATOMIC_RELEASE);
  __atomic_store_n(&bytes[1], 0, __ATOMIC_RELEASE);
}

void __cxa_guard_abort(uint64_t* guard) { __atomic_store_n(&GuardBytes(guard)[1], 0, __ATOMIC_RELEASE); }

}  // extern "C"

// Every object of the DLL comes from the process heap (ServerObject); a
// deleting destructor may still name the global operator.
void operator delete(void* block) noexcept {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
