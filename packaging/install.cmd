@echo off
rem install.cmd: installs the VOXA video codec from this folder through
rem voxa.inf (section DefaultInstall), for 32-bit programs and, on 64-bit
rem Windows, for 64-bit programs too; then checks what was installed.
rem Run it as administrator (right-click, "Run as administrator").
rem
rem   install.cmd [/nopause]
rem
rem Exit status 0 when the codec is installed, 1 otherwise. Without /nopause
rem the window waits for a key at the end.
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
  echo install: FAILED: this package is for x86 and x64 Windows, not for %ARCH%
  goto :fail
)
set "SYSTEM=%SystemRoot%\System32"
set "PROMPT_NOTE="
if exist "%SystemRoot%\Sysnative\rundll32.exe" (
  set "SYSTEM=%SystemRoot%\Sysnative"
  set "PROMPT_NOTE= (32-bit command prompt: System32 reached as Sysnative)"
)
echo install: %BITS%-bit Windows%PROMPT_NOTE%

for %%F in (voxa.inf voxa32.dll voxa64.dll) do (
  if not exist "%HERE%%%F" (
    echo install: FAILED: %%F is missing from %HERE%: unpack the whole package and run install.cmd from there
    goto :fail
  )
)

rem Administrator rights: can we write into the system folder?
set "PROBE=%SYSTEM%\voxa-install-check.tmp"
copy /y nul "%PROBE%" >nul 2>&1
if not exist "%PROBE%" (
  echo install: FAILED: administrator rights needed: right-click install.cmd, "Run as administrator"
  goto :fail
)
del "%PROBE%" >nul 2>&1

rem The native rundll32 runs the INF's sections for this Windows (.NTamd64 on
rem 64-bit Windows).
echo install: running rundll32 setupapi.dll,InstallHinfSection DefaultInstall 132 %HERE%voxa.inf
"%SYSTEM%\rundll32.exe" setupapi.dll,InstallHinfSection DefaultInstall 132 %HERE%voxa.inf

if "%BITS%"=="64" (
  call :check 64 "%SYSTEM%" System32 voxa64.dll /reg:64
  call :check 32 "%SystemRoot%\SysWOW64" SysWOW64 voxa32.dll /reg:32
) else (
  call :check 32 "%SYSTEM%" System32 voxa32.dll ""
)
if defined FAILED goto :fail
echo install: done: programs started from now on find the VOXA codec (vidc.VOXA)
call :end
exit /b 0

:fail
echo install: the codec is NOT installed
call :end
exit /b 1

rem :check BITS FOLDER FOLDER-NAME SOURCE REGVIEW
rem Is FOLDER\voxa.dll the package's SOURCE (same size), and are the
rem Drivers32 and drivers.desc values there in the registry view REGVIEW?
:check
set "TARGET=%~2\voxa.dll"
set "SHOWN=%SystemRoot%\%~3\voxa.dll"
set "WANTED_SIZE="
set "SIZE="
for %%F in ("%HERE%%~4") do set "WANTED_SIZE=%%~zF"
if exist "%TARGET%" for %%F in ("%TARGET%") do set "SIZE=%%~zF"
if not defined SIZE (
  echo install: FAILED: %SHOWN% was not copied
  set "FAILED=1"
  exit /b 1
)
if not "%SIZE%"=="%WANTED_SIZE%" (
  echo install: FAILED: %SHOWN% has %SIZE% bytes, not the %WANTED_SIZE% of %~4: is a program using the codec? Close it and run install.cmd again
  set "FAILED=1"
  exit /b 1
)
set "VALUE="
for /f "tokens=1,2,*" %%a in ('reg query "%DRIVERS32%" /v vidc.VOXA %~5 2^>nul') do (
  if /i "%%a"=="vidc.VOXA" set "VALUE=%%c"
)
if /i not "%VALUE%"=="voxa.dll" (
  echo install: FAILED: Drivers32 value vidc.VOXA is "%VALUE%", not voxa.dll, in the %~1-bit registry
  set "FAILED=1"
  exit /b 1
)
set "VALUE="
for /f "tokens=1,2,*" %%a in ('reg query "%DESCRIPTIONS%" /v voxa.dll %~5 2^>nul') do (
  if /i "%%a"=="voxa.dll" set "VALUE=%%c"
)
if not defined VALUE (
  echo install: FAILED: no drivers.desc value voxa.dll in the %~1-bit registry
  set "FAILED=1"
  exit /b 1
)
echo install: for %~1-bit programs: %SHOWN% ^(%~4, %SIZE% bytes^), Drivers32 vidc.VOXA = voxa.dll ^("%VALUE%"^)
exit /b 0

:end
if defined PAUSE_AT_END pause
exit /b 0
