@echo off
rem install.cmd: installs the VOXA video codec from this folder through
rem voxa.inf (section DefaultInstall), for 32-bit programs and, on 64-bit
rem Windows, for 64-bit programs too; registers the Media Foundation decoder
rem beside it (voxamf.dll) with the regsvr32 of each bitness; then checks what
rem was installed. Run it as administrator (right-click, "Run as
rem administrator").
rem
rem   install.cmd [/force] [/nopause]
rem
rem All or nothing: before the INF runs, each voxa.dll and voxamf.dll it
rem replaces is copied to NAME.old beside it and each registry value it
rem changes is noted, and whether the decoder was registered. When anything
rem fails they are put back (the decoder unregistered, or the old one
rem registered again) and what it added is removed: a failed upgrade leaves
rem the codec installed before as it was, a failed install leaves nothing.
rem
rem A Drivers32 value vidc.VOXA that names another DLL belongs to another
rem codec: install.cmd names it and stops, unless given /force. Then it keeps
rem that value in HKLM\Software\voxa (ReplacedDriver) of its registry view,
rem and uninstall.cmd puts it back.
rem
rem Exit status: 0 the codec is installed; 1 it is not (what was done is
rem undone); 4 nothing changed: another codec is registered as vidc.VOXA
rem (/force replaces it). Without /nopause the window waits for a key at the
rem end.
setlocal EnableExtensions

set "HERE=%~dp0"
set "DRIVERS32=HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
set "DESCRIPTIONS=HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
set "VOXA_KEY=HKLM\Software\voxa"
set "DECODER_CLASS=HKCR\CLSID\{1B2A84A1-75B1-45B1-A68E-8DA858EBD088}\InprocServer32"
set "PAUSE_AT_END=1"
set "FORCE="
set "FAILED="
set "TAKEN="
set "BROKEN="
set "BITS="

:arguments
if "%~1"=="" goto :arguments_done
if /i "%~1"=="/nopause" (
  set "PAUSE_AT_END="
) else if /i "%~1"=="/force" (
  set "FORCE=1"
) else (
  echo install: FAILED: unknown switch %1 ^(install.cmd [/force] [/nopause]^)
  goto :fail
)
shift
goto :arguments
:arguments_done

rem Windows' own architecture, also when this is a 32-bit cmd.exe on 64-bit
rem Windows; there System32 is SysWOW64, and Sysnative is the real System32.
set "ARCH=%PROCESSOR_ARCHITECTURE%"
if defined PROCESSOR_ARCHITEW6432 set "ARCH=%PROCESSOR_ARCHITEW6432%"
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

for %%F in (voxa.inf voxa32.dll voxa64.dll voxamf32.dll voxamf64.dll) do (
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

rem The FourCC: free, ours, or another codec's.
call :each :fourcc
if defined TAKEN (
  echo install: nothing changed: run install.cmd /force to replace that codec ^(uninstall.cmd puts it back^)
  call :end
  exit /b 4
)

rem What the INF may change, kept for undoing it.
call :each :keep
if defined FAILED goto :fail

rem The native rundll32 runs the INF's sections for this Windows (.NTamd64 on
rem 64-bit Windows).
echo install: running rundll32 setupapi.dll,InstallHinfSection DefaultInstall 132 %HERE%voxa.inf
"%SYSTEM%\rundll32.exe" setupapi.dll,InstallHinfSection DefaultInstall 132 %HERE%voxa.inf

call :each :register
if defined FAILED goto :fail
call :each :check
if defined FAILED goto :fail
call :each :drop_copies
echo install: done: programs started from now on find the VOXA codec (vidc.VOXA)
call :end
exit /b 0

:fail
if defined BITS call :each :undo
if defined BROKEN (
  echo install: the codec is NOT installed, and not all that install.cmd changed could be undone: see above
) else if defined KEPT_ANY (
  echo install: undone: everything is as it was before install.cmd ran
  echo install: the codec is NOT installed
) else (
  echo install: the codec is NOT installed
)
call :end
exit /b 1

rem :each LABEL: calls LABEL BITS FOLDER FOLDER-NAME SOURCE REGVIEW for each
rem codec of this Windows.
:each
if "%BITS%"=="64" (
  call %1 64 "%SYSTEM%" System32 voxa64.dll /reg:64
  call %1 32 "%SystemRoot%\SysWOW64" SysWOW64 voxa32.dll /reg:32
) else (
  call %1 32 "%SYSTEM%" System32 voxa32.dll ""
)
exit /b 0

rem :get VARIABLE KEY NAME REGVIEW: the data of a registry value into
rem VARIABLE, which is undefined when there is no such value.
:get
set "%~1="
for /f "tokens=1,2,*" %%a in ('reg query "%~2" /v "%~3" %~4 2^>nul') do (
  if /i "%%a"=="%~3" set "%~1=%%c"
)
exit /b 0

rem :put KEY NAME REGVIEW VARIABLE: sets the registry value to VARIABLE's
rem data, or removes it when VARIABLE is undefined.
:put
call set "DATA=%%%~4%%"
if defined %~4 goto :put_value
reg query "%~1" /v "%~2" %~3 >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "%~1" /v "%~2" /f %~3 >nul 2>&1
if not errorlevel 1 exit /b 0
echo install: FAILED: cannot remove the value %~2 of %~1 again
set "BROKEN=1"
exit /b 1
:put_value
reg add "%~1" /v "%~2" /d "%DATA%" /f %~3 >nul 2>&1
if not errorlevel 1 exit /b 0
echo install: FAILED: cannot put back the value %~2 of %~1
set "BROKEN=1"
exit /b 1

rem :fourcc BITS FOLDER FOLDER-NAME SOURCE REGVIEW: another codec's vidc.VOXA
rem is named, and refused without /force.
:fourcc
call :get OTHER "%DRIVERS32%" vidc.VOXA %~5
if not defined OTHER exit /b 0
if /i "%OTHER%"=="voxa.dll" exit /b 0
call :get OTHER_DESCRIPTION "%DESCRIPTIONS%" "%OTHER%" %~5
set "SHOWN=%OTHER%"
if defined OTHER_DESCRIPTION set SHOWN=%OTHER% ("%OTHER_DESCRIPTION%")
if defined FORCE goto :fourcc_forced
echo install: FAILED: another codec holds the FourCC VOXA in the %~1-bit registry: vidc.VOXA = %SHOWN%
set "TAKEN=1"
exit /b 0
:fourcc_forced
echo install: the Drivers32 value vidc.VOXA = %SHOWN% of the %~1-bit registry is replaced, as asked; uninstall.cmd puts it back
exit /b 0

rem :keep BITS FOLDER FOLDER-NAME SOURCE REGVIEW: copies FOLDER\voxa.dll to
rem voxa.dll.old and notes the registry values, for :undo; keeps another
rem codec's vidc.VOXA (replaced with /force) for uninstall.cmd.
:keep
set "OLD_DECODER_%~1="
set "OLD_REGISTERED_%~1="
reg query "%DECODER_CLASS%" %~5 >nul 2>&1
if not errorlevel 1 set "OLD_REGISTERED_%~1=1"
if not exist "%~2\voxamf.dll" goto :keep_driver
if exist "%~2\voxamf.dll\*" goto :keep_driver
del /f "%~2\voxamf.dll.old" >nul 2>&1
copy /y "%~2\voxamf.dll" "%~2\voxamf.dll.old" >nul 2>&1
if not exist "%~2\voxamf.dll.old" goto :keep_failed
set "OLD_DECODER_%~1=1"
:keep_driver
set "OLD_DLL_%~1="
if not exist "%~2\voxa.dll" goto :keep_values
if exist "%~2\voxa.dll\*" goto :keep_values
del /f "%~2\voxa.dll.old" >nul 2>&1
copy /y "%~2\voxa.dll" "%~2\voxa.dll.old" >nul 2>&1
if not exist "%~2\voxa.dll.old" goto :keep_failed
set "OLD_DLL_%~1=1"
:keep_values
call :get OLD_VIDC_%~1 "%DRIVERS32%" vidc.VOXA %~5
call :get OLD_DESCRIPTION_%~1 "%DESCRIPTIONS%" voxa.dll %~5
call :get OLD_REPLACED_%~1 "%VOXA_KEY%" ReplacedDriver %~5
set "NEW_KEY_%~1="
reg query "%VOXA_KEY%" %~5 >nul 2>&1
if errorlevel 1 set "NEW_KEY_%~1=1"
set "KEPT_%~1=1"
set "KEPT_ANY=1"
call set "VIDC=%%OLD_VIDC_%~1%%"
if not defined VIDC (
  reg delete "%VOXA_KEY%" /v ReplacedDriver /f %~5 >nul 2>&1
  exit /b 0
)
if /i "%VIDC%"=="voxa.dll" exit /b 0
reg add "%VOXA_KEY%" /v ReplacedDriver /d "%VIDC%" /f %~5 >nul 2>&1
if not errorlevel 1 exit /b 0
echo install: FAILED: cannot write the value ReplacedDriver of %VOXA_KEY% in the %~1-bit registry
set "FAILED=1"
exit /b 1
:keep_failed
echo install: FAILED: cannot keep a copy of a DLL in %SystemRoot%\%~3 ^(NAME.old^)
set "FAILED=1"
exit /b 1

rem :undo BITS FOLDER FOLDER-NAME SOURCE REGVIEW: puts back what :keep noted.
:undo
call set "KEPT=%%KEPT_%~1%%"
if not defined KEPT exit /b 0
call :undo_decoder %*
call set "OLD_DLL=%%OLD_DLL_%~1%%"
if defined OLD_DLL goto :undo_dll
if not exist "%~2\voxa.dll" goto :undo_values
if exist "%~2\voxa.dll\*" goto :undo_values
del /f "%~2\voxa.dll" >nul 2>&1
if not exist "%~2\voxa.dll" goto :undo_values
echo install: FAILED: cannot remove %SystemRoot%\%~3\voxa.dll again
set "BROKEN=1"
goto :undo_values
:undo_dll
move /y "%~2\voxa.dll.old" "%~2\voxa.dll" >nul 2>&1
if not exist "%~2\voxa.dll.old" goto :undo_values
rem Not moved back: a program holds voxa.dll, which then was not replaced
rem either (its size is the old one's); only the copy goes.
for %%F in ("%~2\voxa.dll.old") do set "OLD_SIZE=%%~zF"
for %%F in ("%~2\voxa.dll") do set "SIZE=%%~zF"
if "%OLD_SIZE%"=="%SIZE%" del /f "%~2\voxa.dll.old" >nul 2>&1
if not exist "%~2\voxa.dll.old" goto :undo_values
echo install: FAILED: cannot put back %SystemRoot%\%~3\voxa.dll: the old one is voxa.dll.old beside it
set "BROKEN=1"
:undo_values
call :put "%DRIVERS32%" vidc.VOXA "%~5" OLD_VIDC_%~1
call :put "%DESCRIPTIONS%" voxa.dll "%~5" OLD_DESCRIPTION_%~1
call :put "%VOXA_KEY%" ReplacedDriver "%~5" OLD_REPLACED_%~1
call set "NEW_KEY=%%NEW_KEY_%~1%%"
if defined NEW_KEY reg delete "%VOXA_KEY%" /f %~5 >nul 2>&1
exit /b 0

rem :undo_decoder BITS FOLDER FOLDER-NAME SOURCE REGVIEW: the decoder
rem unregistered while its new DLL is there (unless it was registered
rem before), the old DLL put back, and registered again when it was.
:undo_decoder
set "REGSVR=%~2\regsvr32.exe"
set "DECODER=%SystemRoot%\%~3\voxamf.dll"
if not defined OLD_REGISTERED_%~1 if exist "%~2\voxamf.dll" "%REGSVR%" /u /s "%DECODER%"
if defined OLD_DECODER_%~1 (
  move /y "%~2\voxamf.dll.old" "%~2\voxamf.dll" >nul 2>&1
) else if exist "%~2\voxamf.dll" if not exist "%~2\voxamf.dll\*" del /f "%~2\voxamf.dll" >nul 2>&1
if exist "%~2\voxamf.dll.old" (
  echo install: FAILED: cannot put back %DECODER%: the old one is voxamf.dll.old beside it
  set "BROKEN=1"
)
if not defined OLD_REGISTERED_%~1 exit /b 0
"%REGSVR%" /s "%DECODER%"
if not errorlevel 1 exit /b 0
echo install: FAILED: cannot register %DECODER% again
set "BROKEN=1"
exit /b 0

rem :register BITS FOLDER FOLDER-NAME SOURCE REGVIEW: the Media Foundation
rem decoder registered by the regsvr32 of its bitness, which is told the
rem DLL's path as a program of that bitness sees it (no Sysnative).
:register
"%~2\regsvr32.exe" /s "%SystemRoot%\%~3\voxamf.dll"
if not errorlevel 1 exit /b 0
echo install: FAILED: regsvr32 cannot register %SystemRoot%\%~3\voxamf.dll, the Media Foundation decoder
set "FAILED=1"
exit /b 1

rem :drop_copies BITS FOLDER ...: the copies kept for undoing go.
:drop_copies
if exist "%~2\voxa.dll.old" del /f "%~2\voxa.dll.old" >nul 2>&1
if exist "%~2\voxamf.dll.old" del /f "%~2\voxamf.dll.old" >nul 2>&1
exit /b 0

rem :check BITS FOLDER FOLDER-NAME SOURCE REGVIEW
rem Is FOLDER\voxa.dll the package's SOURCE (same size), and are the
rem Drivers32 and drivers.desc values there in the registry view REGVIEW?
:check
set "TARGET=%~2\voxa.dll"
set "SHOWN=%SystemRoot%\%~3\voxa.dll"
set "WANTED_SIZE="
set "SIZE="
for %%F in ("%HERE%%~4") do set "WANTED_SIZE=%%~zF"
if exist "%TARGET%" if not exist "%TARGET%\*" for %%F in ("%TARGET%") do set "SIZE=%%~zF"
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
call :get VALUE "%DRIVERS32%" vidc.VOXA %~5
if /i not "%VALUE%"=="voxa.dll" (
  echo install: FAILED: Drivers32 value vidc.VOXA is "%VALUE%", not voxa.dll, in the %~1-bit registry
  set "FAILED=1"
  exit /b 1
)
call :get VALUE "%DESCRIPTIONS%" voxa.dll %~5
if not defined VALUE (
  echo install: FAILED: no drivers.desc value voxa.dll in the %~1-bit registry
  set "FAILED=1"
  exit /b 1
)
echo install: for %~1-bit programs: %SHOWN% ^(%~4, %SIZE% bytes^), Drivers32 vidc.VOXA = voxa.dll ^("%VALUE%"^)
set "SHOWN=%SystemRoot%\%~3\voxamf.dll"
set "SIZE="
for %%F in ("%HERE%voxamf%~1.dll") do set "WANTED_SIZE=%%~zF"
if exist "%~2\voxamf.dll" for %%F in ("%~2\voxamf.dll") do set "SIZE=%%~zF"
if not "%SIZE%"=="%WANTED_SIZE%" (
  echo install: FAILED: %SHOWN% has "%SIZE%" bytes, not the %WANTED_SIZE% of voxamf%~1.dll
  set "FAILED=1"
  exit /b 1
)
set "VALUE="
for /f "tokens=1,2,*" %%a in ('reg query "%DECODER_CLASS%" /ve %~5 2^>nul') do (
  if "%%b"=="REG_SZ" set "VALUE=%%c"
)
if /i not "%VALUE%"=="%SHOWN%" (
  echo install: FAILED: the Media Foundation decoder's class names "%VALUE%", not %SHOWN%, in the %~1-bit registry
  set "FAILED=1"
  exit /b 1
)
echo install: for %~1-bit programs: %SHOWN% ^(voxamf%~1.dll, %SIZE% bytes^), registered as a Media Foundation video decoder
exit /b 0

:end
if defined PAUSE_AT_END pause
exit /b 0
