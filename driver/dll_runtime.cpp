// The C and C++ runtime functions voxa.dll needs, carried by the DLL itself:
// the block copies, fills and comparisons that the compiler may call on its
// own for structures and arrays, two string searches, and the global
// operator delete. Linking no runtime keeps the DLL free of msvcrt.dll
// (which the first Windows 95 lacks) and of everything a runtime sets up at
// load. The string instructions are 386 code and fast on today's processors.
#include <cstddef>

#include "driver/private_heap.h"

extern "C" {

void* memcpy(void* destination, const void* source, std::size_t bytes) {
  void* d = destination;
  asm volatile("rep movsb" : "+D"(d), "+S"(source), "+c"(bytes) : : "memory");
  return destination;
}

void* memmove(void* destination, const void* source, std::size_t bytes) {
  const auto* s = static_cast<const unsigned char*>(source);
  auto* d = static_cast<unsigned char*>(destination);
  if (d <= s || d >= s + bytes) return memcpy(destination, source, bytes);
  // Overlapping with the destination above: copy from the last byte down.
  d += bytes - 1;
  s += bytes - 1;
  asm volatile("std\n\trep movsb\n\tcld" : "+D"(d), "+S"(s), "+c"(bytes) : : "memory", "cc");
  return destination;
}

void* memset(void* destination, int value, std::size_t bytes) {
  void* d = destination;
  asm volatile("rep stosb" : "+D"(d), "+c"(bytes) : "a"(value) : "memory");
  return destination;
}

int memcmp(const void* a, const void* b, std::size_t bytes) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (std::size_t i = 0; i < bytes; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* block, int value, std::size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < bytes; ++i) {
    if (p[i] == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p + i);
  }
  return nullptr;
}

std::size_t strlen(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

}  // extern "C"

// Every object of the DLL comes from the private heap (HeapObject); the
// deleting destructors of base classes still name the global operator.
void operator delete(void* block) noexcept { voxa::HeapRelease(block); }
void operator delete(void* block, std::size_t) noexcept { voxa::HeapRelease(block); }
