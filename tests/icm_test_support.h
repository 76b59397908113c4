// Registers the built voxa.dll with the compression manager of the test's
// Wine prefix, so that ICOpen finds it as any host would.
#pragma once

#include <string>

#include "tests/host/register_driver.h"

namespace voxa::test {

using voxa::kVoxaHandler;

// The DLL's path as Windows sees it.
inline std::string DriverDllPath() { return WindowsPath(VOXA_DLL_PATH); }

// Writes vidc.VOXA into Drivers32 of this process's registry view.
inline bool RegisterDriverDll() { return voxa::RegisterDriverDll(DriverDllPath()); }

}  // namespace voxa::test
