// The settings record: the "Change fields order" flag and up to 16
// application names. It is exchanged with hosts byte for byte as the driver
// state, so its layout is fixed: 4100 bytes, no padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace voxa {

constexpr std::size_t kApplicationSlots = 16;
constexpr std::size_t kApplicationSlotBytes = 256;

struct CodecSettings {
  int32_t change_fields_order;  // 0 or 1 once loaded from the registry
  // Zero-terminated ANSI names; the list runs from slot 0 to the first empty
  // slot. A record handed over by a host may hold a slot without its zero,
  // so every read of a slot is bounded by the slot.
  char applications[kApplicationSlots][kApplicationSlotBytes];
};

constexpr std::size_t kCodecSettingsBytes = 4100;
static_assert(sizeof(CodecSettings) == kCodecSettingsBytes, "the record is exchanged byte for byte");

// Length of the name in a slot, never looking past the slot.
inline std::size_t ApplicationNameLength(const CodecSettings& s, std::size_t slot) {
  const void* zero = std::memchr(s.applications[slot], 0, kApplicationSlotBytes);
  return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - s.applications[slot])
              : kApplicationSlotBytes;
}

}  // namespace voxa
