// The library's one export: the compression manager's entry into the driver.
#pragma once

#include <windows.h>

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driver_id, HDRVR driver, UINT message,
                                     LPARAM param1, LPARAM param2);
