@echo off
rem uninstall.cmd: removes the VOXA video codec through voxa.inf (section
rem DefaultUninstall): voxa.dll and the Drivers32 and drivers.desc values,
rem and the Media Foundation decoder voxamf.dll, unregistered first by the
rem regsvr32 of its bitness, for 32-bit programs and, on 64-bit Windows, for
rem 64-bit programs; then checks that they are gone. The codec's settings (HKEY_CLASSES_ROOT\Software\
rem Brenmoor) are kept. Run it as administrator.
rem
rem Only the codec's own values go: a vidc.VOXA that names another DLL, or a
rem drivers.desc voxa.dll with another codec's description, is put back
rem after the INF; the vidc.VOXA of another codec that install.cmd /force (or
rem the setup program) replaced, kept in HKLM\Software\voxa, takes its place
rem again.
rem
rem   uninstall.cmd [/nopause]
rem
rem Exit status 0 when the codec is no longer installed, 1 otherwise. Without
rem /nopause the window waits for a key at the end.
setlocal EnableExtensions

set "HERE=%~dp0"
set "DRIVERS32=HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
set "DESCRIPTIONS=HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
set "VOXA_KEY=HKLM\Software\voxa"
set "DECODER_CLASS=HKCR\CLSID\{1B2A84A1-75B1-45B1-A68E-8DA858EBD088}"
set "DESCRIPTION=@VOXA_RC_DESCRIPTION@"
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

rem What the INF removes unasked: other codecs' values.
if "%BITS%"=="64" (
  call :keep 64 /reg:64
  call :keep 32 /reg:32
) else (
  call :keep 32 ""
)

rem The decoders' registrations first: regsvr32 /u loads the DLL the INF removes.
if "%BITS%"=="64" (
  call :unregister "%SYSTEM%" System32
  call :unregister "%SystemRoot%\SysWOW64" SysWOW64
) else (
  call :unregister "%SYSTEM%" System32
)

echo uninstall: running rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 132 %HERE%voxa.inf
"%SYSTEM%\rundll32.exe" setupapi.dll,InstallHinfSection DefaultUninstall 132 %HERE%voxa.inf

if "%BITS%"=="64" (
  call :restore 64 /reg:64
  call :restore 32 /reg:32
) else (
  call :restore 32 ""
)

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

rem :get VARIABLE KEY NAME REGVIEW: the data of a registry value into
rem VARIABLE, which is undefined when there is no such value.
:get
set "%~1="
for /f "tokens=1,2,*" %%a in ('reg query "%~2" /v "%~3" %~4 2^>nul') do (
  if /i "%%a"=="%~3" set "%~1=%%c"
)
exit /b 0

rem :keep BITS REGVIEW: what vidc.VOXA and drivers.desc voxa.dll must be
rem after the INF: WANTED_VIDC_BITS (undefined: gone) and KEEP_DESCRIPTION_BITS.
:keep
call :get VIDC "%DRIVERS32%" vidc.VOXA %~2
call :get REPLACED "%VOXA_KEY%" ReplacedDriver %~2
call :get KEEP_DESCRIPTION_%~1 "%DESCRIPTIONS%" voxa.dll %~2
call set "KEPT=%%KEEP_DESCRIPTION_%~1%%"
if "%KEPT%"=="%DESCRIPTION%" set "KEEP_DESCRIPTION_%~1="
set "WANTED_VIDC_%~1=%REPLACED%"
set "WANTED_SHOWN_%~1=is back (the codec the install replaced)"
if not defined VIDC exit /b 0
if /i "%VIDC%"=="voxa.dll" exit /b 0
set "WANTED_VIDC_%~1=%VIDC%"
set "WANTED_SHOWN_%~1=is another codec's: left as it is"
exit /b 0

rem :unregister FOLDER FOLDER-NAME: the regsvr32 of FOLDER (its bitness) is
rem told the decoder's path as a program of that bitness sees it.
:unregister
if exist "%~1\voxamf.dll" "%~1\regsvr32.exe" /u /s "%SystemRoot%\%~2\voxamf.dll"
exit /b 0

rem :restore BITS REGVIEW: puts back what :keep found, and forgets the value
rem install.cmd kept.
:restore
call set "VIDC=%%WANTED_VIDC_%~1%%"
call set "KEPT=%%KEEP_DESCRIPTION_%~1%%"
if defined VIDC reg add "%DRIVERS32%" /v vidc.VOXA /d "%VIDC%" /f %~2 >nul 2>&1
if defined KEPT reg add "%DESCRIPTIONS%" /v voxa.dll /d "%KEPT%" /f %~2 >nul 2>&1
reg delete "%VOXA_KEY%" /f %~2 >nul 2>&1
exit /b 0

rem :check BITS FOLDER FOLDER-NAME REGVIEW
rem Are FOLDER\voxa.dll, FOLDER\voxamf.dll, the decoder's class and the
rem codec's Drivers32 and drivers.desc values of the registry view REGVIEW
rem gone, and another codec's vidc.VOXA there?
:check
set "SHOWN=%SystemRoot%\%~3\voxa.dll"
set "LEFT="
if exist "%~2\voxa.dll" (
  echo uninstall: FAILED: %SHOWN% is still there: is a program using the codec? Close it and run uninstall.cmd again
  set "LEFT=1"
)
if exist "%~2\voxamf.dll" (
  echo uninstall: FAILED: %SystemRoot%\%~3\voxamf.dll is still there: is a program using the codec? Close it and run uninstall.cmd again
  set "LEFT=1"
)
reg query "%DECODER_CLASS%" %~4 >nul 2>&1
if not errorlevel 1 (
  echo uninstall: FAILED: the Media Foundation decoder is still registered in the %~1-bit registry
  set "LEFT=1"
)
call set "WANTED=%%WANTED_VIDC_%~1%%"
call :get VIDC "%DRIVERS32%" vidc.VOXA %~4
if defined WANTED goto :check_other
if defined VIDC (
  echo uninstall: FAILED: the Drivers32 value vidc.VOXA is still in the %~1-bit registry
  set "LEFT=1"
)
set "VIDC_SHOWN=the Drivers32 value vidc.VOXA is gone"
goto :check_description
:check_other
if "%VIDC%"=="%WANTED%" goto :check_other_kept
echo uninstall: FAILED: the Drivers32 value vidc.VOXA is "%VIDC%", not another codec's %WANTED%, in the %~1-bit registry
set "LEFT=1"
:check_other_kept
call set "VIDC_SHOWN=the Drivers32 value vidc.VOXA = %WANTED% %%WANTED_SHOWN_%~1%%"
:check_description
call :get VALUE "%DESCRIPTIONS%" voxa.dll %~4
if "%VALUE%"=="%DESCRIPTION%" (
  echo uninstall: FAILED: the drivers.desc value voxa.dll is still in the %~1-bit registry
  set "LEFT=1"
)
if defined LEFT (
  set "FAILED=1"
  exit /b 1
)
echo uninstall: for %~1-bit programs: %SHOWN% and voxamf.dll are gone, the Media Foundation decoder is unregistered; %VIDC_SHOWN%
exit /b 0

:end
if defined PAUSE_AT_END pause
exit /b 0
