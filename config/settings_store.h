// The process settings and their place in the registry:
// HKEY_CLASSES_ROOT\Software\Brenmoor\(VOXA) RLE codec, with the flag in
// "Change fields order" (REG_DWORD) and application slot n in
// "Bad application%X" (REG_SZ). This is the only state that outlives the
// process.
#pragma once

#include <windows.h>

#include "config/codec_settings.h"

namespace voxa {

constexpr char kSettingsKeyPath[] = "Software\\Brenmoor\\(VOXA) RLE codec";
constexpr REGSAM kSettingsKeyAccess = KEY_READ | KEY_WRITE;  // 0x2001F
constexpr char kFieldOrderValue[] = "Change fields order";
constexpr char kApplicationValueFormat[] = "Bad application%X";
constexpr char kDefaultApplication[] = "PREMIERE.EXE";

// The one process-wide record: zero at load, then loaded or defaulted at
// process attach; edited by the configuration dialog opened on it.
CodecSettings& ProcessSettings();

// Flag 0 and the single name "PREMIERE.EXE". Does not touch the registry.
void SetDefaultSettings();

// Fills the process settings from the registry; true when the key opened (or
// was created) and the flag was read and is 0 or 1.
bool LoadSettings();

// Writes the process settings to the registry; reports nothing. Values of
// higher indices than the list's end stay in the key.
void SaveSettings();

}  // namespace voxa
