// FOURCC codes and their case-insensitive comparison: "voxa", "vidc" and
// "y16a" count as "VOXA", "VIDC" and "Y16A".
#pragma once

#include <cstdint>

namespace voxa {

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

constexpr uint32_t kFourccVoxa = MakeFourcc('V', 'O', 'X', 'A');
constexpr uint32_t kFourccVidc = MakeFourcc('V', 'I', 'D', 'C');
constexpr uint32_t kFourccY16a = MakeFourcc('Y', '1', '6', 'A');

// Upper-cases the bytes 'a' to 'z'; every other byte stays as it is.
constexpr uint32_t FourccToUpper(uint32_t fourcc) {
  uint32_t result = fourcc;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t byte = (fourcc >> shift) & 0xFF;
    if (byte >= 'a' && byte <= 'z') result -= uint32_t{0x20} << shift;
  }
  return result;
}

}  // namespace voxa
