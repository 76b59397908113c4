// Run words, little-endian whatever the processor. With internal linkage:
// every unit that uses them has a copy of its own, so none compiled with
// vector instructions can be the one the linker keeps for the portable code
// (the kernels' units use them too).
#pragma once

#include <cstdint>
#include <cstring>

namespace voxa {
namespace {

// A run word, little-endian whatever the processor.
inline int32_t LoadWord(const uint8_t* p) {
  const uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                     static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  int32_t word;
  std::memcpy(&word, &v, sizeof word);
  return word;
}

inline void StoreWord(uint8_t* p, int32_t word) {
  uint32_t v;
  std::memcpy(&v, &word, sizeof v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace
}  // namespace voxa
