#include "driver/private_heap.h"

#include <windows.h>

namespace voxa {
namespace {

HANDLE g_heap = nullptr;

}  // namespace

bool CreatePrivateHeap() {
  // Serialized (no options) and growable (no maximum).
  if (g_heap == nullptr) g_heap = HeapCreate(0, kPrivateHeapInitialBytes, 0);
  return g_heap != nullptr;
}

void DestroyPrivateHeap() {
  if (g_heap != nullptr) {
    HeapDestroy(g_heap);
    g_heap = nullptr;
  }
}

void* PrivateHeap() { return g_heap; }

void* HeapAllocate(std::size_t bytes) {
  return g_heap != nullptr ? HeapAlloc(g_heap, 0, bytes) : nullptr;
}

void HeapRelease(void* block) {
  if (g_heap != nullptr && block != nullptr) HeapFree(g_heap, 0, block);
}

}  // namespace voxa
