@echo off
rem uninstall.cmd: removes the VOXA video codec through voxa.inf (section
rem DefaultUninstall): voxa.dll and the Drivers32 and drivers.desc values,
rem for 32-bit programs and, on 64-bit Windows, for 64-bit programs; then
rem checks that they are gone. The codec's settings (HKEY_CLASSES_ROOT\Software\
rem Brenmoor) are kept. Run it as administrator.
rem
rem   uninstall.cmd [/nopause]
rem
rem Exit status 0 when the codec is no longer installed, 1 otherwise. Without
rem /nopause the window waits for a key at the end.
setlocal EnableExtensions

set "HERE=%~dp0"
set "DRIVERS32=HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
set "DESCRIPTIONS=HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
set "PAUSE_AT_END=1"
if /i "%~1"=="/nopause" set "PAUSE_AT_END="
set "FAILED="

rem Windows' own architecture, also when this is a 32-bit cmd.exe on 64-bit
rem Windows; there System32 is SysWOW64, and Sysnative is the real System32.
set "ARCH=%PROCESSOR_ARCHITECTURE%"
if defined PROCESSOR_ARCHITEW6432 set "ARCH=%PROCESSOR_ARCHITEW6432%"
set "BITS="
if /i "%ARCH%"=="x86" set "BITS=32"
if /i "%ARCH%"=="AMD64" set "BITS=64"
if not defined BITS (
  echo uninstall: FAILED: this package is for x86 and x64 Windows, not for %ARCH%
  goto :fail
)
set "SYSTEM=%SystemRoot%\System32"
set "PROMPT_NOTE="
if exist "%SystemRoot%\Sysnative\rundll32.exe" (
  set "SYSTEM=%SystemRoot%\Sysnative"
  set "PROMPT_NOTE= (32-bit command prompt: System32 reached as Sysnative)"
)
echo uninstall: %BITS%-bit Windows%PROMPT_NOTE%

if not exist "%HERE%voxa.inf" (
  echo uninstall: FAILED: voxa.inf is missing from %HERE%: run uninstall.cmd from the unpacked package
  goto :fail
)

rem Administrator rights: can we write into the system folder?
set "PROBE=%SYSTEM%\voxa-install-check.tmp"
copy /y nul "%PROBE%" >nul 2>&1
if not exist "%PROBE%" (
  echo uninstall: FAILED: administrator rights needed: right-click uninstall.cmd, "Run as administrator"
  goto :fail
)
del "%PROBE%" >nul 2>&1

echo uninstall: running rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 132 %HERE%voxa.inf
"%SYSTEM%\rundll32.exe" setupapi.dll,InstallHinfSection DefaultUninstall 132 %HERE%voxa.inf

if "%BITS%"=="64" (
  call :check 64 "%SYSTEM%" System32 /reg:64
  call :check 32 "%SystemRoot%\SysWOW64" SysWOW64 /reg:32
) else (
  call :check 32 "%SYSTEM%" System32 ""
)
if defined FAILED goto :fail
echo uninstall: done: the VOXA codec is no longer installed
call :end
exit /b 0

:fail
echo uninstall: the codec is NOT completely removed
call :end
exit /b 1

rem :check BITS FOLDER FOLDER-NAME REGVIEW
rem Are FOLDER\voxa.dll and the Drivers32 and drivers.desc values of the
rem registry view REGVIEW gone?
:check
set "SHOWN=%SystemRoot%\%~3\voxa.dll"
set "LEFT="
if exist "%~2\voxa.dll" (
  echo uninstall: FAILED: %SHOWN% is still there: is a program using the codec? Close it and run uninstall.cmd again
  set "LEFT=1"
)
reg query "%DRIVERS32%" /v vidc.VOXA %~4 >nul 2>&1
if not errorlevel 1 (
  echo uninstall: FAILED: the Drivers32 value vidc.VOXA is still in the %~1-bit registry
  set "LEFT=1"
)
reg query "%DESCRIPTIONS%" /v voxa.dll %~4 >nul 2>&1
if not errorlevel 1 (
  echo uninstall: FAILED: the drivers.desc value voxa.dll is still in the %~1-bit registry
  set "LEFT=1"
)
if defined LEFT (
  set "FAILED=1"
  exit /b 1
)
echo uninstall: for %~1-bit programs: %SHOWN% and the Drivers32 value vidc.VOXA are gone
exit /b 0

:end
if defined PAUSE_AT_END pause
exit /b 0
