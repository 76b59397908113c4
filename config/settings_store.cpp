#include "config/settings_store.h"

#include <cstring>

#include "config/registry_key.h"

namespace voxa {
namespace {

// Zero-initialised static storage: all zero when the library is loaded.
CodecSettings g_process_settings;

// "Bad application" plus one upper-case hex digit and the zero.
constexpr std::size_t kValueNameBytes = 32;

void ApplicationValueName(std::size_t slot, char (&name)[kValueNameBytes]) {
  wsprintfA(name, kApplicationValueFormat, static_cast<unsigned>(slot));
}

bool OpenSettingsKey(RegistryKey& key) {
  return key.OpenOrCreate(HKEY_CLASSES_ROOT, kSettingsKeyPath, kSettingsKeyAccess);
}

}  // namespace

CodecSettings& ProcessSettings() { return g_process_settings; }

void SetDefaultSettings() {
  CodecSettings& s = g_process_settings;
  std::memset(&s, 0, sizeof s);
  std::memcpy(s.applications[0], kDefaultApplication, sizeof kDefaultApplication);
}

bool LoadSettings() {
  CodecSettings& s = g_process_settings;
  // Cleared before the registry is opened: nothing of the earlier contents
  // survives, whatever the outcome.
  std::memset(&s, 0, sizeof s);

  RegistryKey key;
  if (!OpenSettingsKey(key)) {
    return false;
  }
  // Any stored type is taken as long as it fits in 4 bytes; the bytes it
  // does not cover stay zero. A missing or longer value fails the load.
  if (!key.ReadValue(kFieldOrderValue, REG_DWORD, &s.change_fields_order,
                     sizeof s.change_fields_order)) {
    return false;
  }
  // A rejected flag stays in the record until the caller installs the
  // defaults.
  if (s.change_fields_order != 0 && s.change_fields_order != 1) {
    return false;
  }

  // The stored list ends at the first value that cannot be read (missing, or
  // longer than a slot). An empty string leaves its slot empty but does not
  // end the list. A value of exactly 256 bytes without a zero fills its slot
  // to the last byte; every reader of a slot is bounded by the slot.
  for (std::size_t n = 0; n < kApplicationSlots; ++n) {
    char name[kValueNameBytes];
    ApplicationValueName(n, name);
    if (!key.ReadValue(name, REG_SZ, s.applications[n], kApplicationSlotBytes)) {
      // A failed read may leave partial data behind: this slot stays empty.
      std::memset(s.applications[n], 0, kApplicationSlotBytes);
      break;
    }
  }
  return true;
}

void SaveSettings() {
  const CodecSettings& s = g_process_settings;
  RegistryKey key;
  if (!OpenSettingsKey(key)) {
    return;
  }
  // The flag's 4 bytes as they stand, even when zero. Write results are not
  // examined: a failed write does not stop the others.
  key.WriteValue(kFieldOrderValue, REG_DWORD, &s.change_fields_order,
                 sizeof s.change_fields_order);

  // Slots from 0 up to the first empty one. Values of higher indices that
  // are already in the key stay there.
  for (std::size_t n = 0; n < kApplicationSlots; ++n) {
    std::size_t length = ApplicationNameLength(s, n);
    if (length == 0) {
      break;
    }
    // A slot filled to its last byte has no terminating zero: its first 255
    // characters are written, followed by the zero.
    if (length > kApplicationSlotBytes - 1) {
      length = kApplicationSlotBytes - 1;
    }
    char text[kApplicationSlotBytes];
    std::memcpy(text, s.applications[n], length);
    text[length] = '\0';

    char name[kValueNameBytes];
    ApplicationValueName(n, name);
    key.WriteValue(name, REG_SZ, text, static_cast<DWORD>(length + 1));
  }
}

}  // namespace voxa
