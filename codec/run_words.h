// Run words as the walks over a field load and store them: little-endian
// whatever the processor, with internal linkage (see codec/encode_field_walk.h
// for why).
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
