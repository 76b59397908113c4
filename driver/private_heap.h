// The library's private heap. Every object and buffer of the driver comes
// from it: instances, coder objects, kernel objects, scratch frames and the
// about box's version block. It is created at process attach and destroyed at
// process detach, taking with it whatever a host forgot to close.
#pragma once

#include <cstddef>

namespace voxa {

constexpr std::size_t kPrivateHeapInitialBytes = 0x40000;

// Creates the heap unless it exists; false when it could not be created.
bool CreatePrivateHeap();
void DestroyPrivateHeap();

// The heap itself, for code that takes a heap (null when it is missing).
void* PrivateHeap();

// Null when the heap is missing or exhausted.
void* HeapAllocate(std::size_t bytes);
void HeapRelease(void* block);

// Base of the library's classes: their objects live in the private heap, and
// a failed allocation makes the new-expression yield null instead of throwing.
class HeapObject {
 public:
  static void* operator new(std::size_t bytes) noexcept { return HeapAllocate(bytes); }
  static void operator delete(void* block) noexcept { HeapRelease(block); }
};

}  // namespace voxa
