; voxa-setup.nsi: the setup program of the VOXA video codec, one program for
; 32- and 64-bit Windows, built with makensis by packaging/CMakeLists.txt
; (scripts/package.sh) beside the ZIP.
;
;   voxa-<version>-setup.exe [/S] [/ALLOWDOWNGRADE]
;
; What goes where (the same as voxa.inf and install.cmd):
;   32-bit Windows: voxa32.dll -> System32\voxa.dll, Drivers32 of the registry.
;   64-bit Windows: voxa64.dll -> System32\voxa.dll, Drivers32 of the 64-bit
;                   registry; voxa32.dll -> SysWOW64\voxa.dll, Drivers32 of
;                   the 32-bit registry (Wow6432Node).
; Drivers32 gets vidc.VOXA = voxa.dll and drivers.desc voxa.dll = the codec's
; description. The uninstaller and LICENSE.txt go into Program Files\voxa,
; and the installed-programs entry (Uninstall\voxa) into the native registry
; view.
;
; This is a 32-bit program: on 64-bit Windows, System32 is SysWOW64 for it
; and its registry is the 32-bit view, so the 64-bit folder is reached with
; the file system redirection turned off and the 64-bit view with SetRegView
; 64. Paths are always named in full, $WINDIR\System32 or $WINDIR\SysWOW64
; (never System32 through the redirection, never Sysnative): a file that is
; in use is replaced or removed at the next restart by Windows itself, which
; takes the path as it was written down.
;
; Exit status: 0 done; 3010 done, but a voxa.dll was in use and is replaced
; or removed when Windows restarts; 1 failed (as install.cmd), or cancelled
; by the user (NSIS's own); 3 refused: a newer version is installed
; (silently refused unless /ALLOWDOWNGRADE is given; asked about otherwise).
; A failure sets its status before it aborts: an abort alone exits with 2. Messages go to the details list and, when the
; program's standard output is a file or pipe (setup.exe /S > log.txt), there
; too, one line each, worded as install.cmd and uninstall.cmd word them.
;
; Defines (makensis -D or the file named by VOXA_SETUP_DEFINES, which
; packaging/CMakeLists.txt writes from the project and resources/voxa.rc):
;   VOXA_VERSION       the release version, x.y.z
;   VOXA_PUBLISHER     CompanyName of the version resource
;   VOXA_PRODUCT       ProductName of the version resource (the entry's name)
;   VOXA_DESCRIPTION   the driver's description (drivers.desc)
;   VOXA_COPYRIGHT     LegalCopyright of the version resource
;   VOXA_DLL32, VOXA_DLL64, VOXA_LICENSE, VOXA_OUTFILE   paths

!ifdef VOXA_SETUP_DEFINES
  !include "${VOXA_SETUP_DEFINES}"
!endif
!macro VoxaRequire name
  !ifndef ${name}
    !error "define ${name} (see the head of voxa-setup.nsi)"
  !endif
!macroend
!insertmacro VoxaRequire VOXA_VERSION
!insertmacro VoxaRequire VOXA_PUBLISHER
!insertmacro VoxaRequire VOXA_PRODUCT
!insertmacro VoxaRequire VOXA_DESCRIPTION
!insertmacro VoxaRequire VOXA_COPYRIGHT
!insertmacro VoxaRequire VOXA_DLL32
!insertmacro VoxaRequire VOXA_DLL64
!insertmacro VoxaRequire VOXA_LICENSE
!insertmacro VoxaRequire VOXA_OUTFILE

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
Name "${VOXA_PRODUCT} ${VOXA_VERSION}"
OutFile "${VOXA_OUTFILE}"
InstallDir "$PROGRAMFILES\voxa"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${VOXA_PRODUCT} ${VOXA_VERSION}"

VIProductVersion "${VOXA_VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${VOXA_PRODUCT}"
VIAddVersionKey /LANG=1033 CompanyName "${VOXA_PUBLISHER}"
VIAddVersionKey /LANG=1033 FileDescription "${VOXA_PRODUCT} setup"
VIAddVersionKey /LANG=1033 FileVersion "${VOXA_VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${VOXA_VERSION}"
VIAddVersionKey /LANG=1033 LegalCopyright "${VOXA_COPYRIGHT}"

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include MUI2.nsh

!define DRIVERS32 "Software\Microsoft\Windows NT\CurrentVersion\Drivers32"
!define DESCRIPTIONS "Software\Microsoft\Windows NT\CurrentVersion\drivers.desc"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\voxa"
; The new DLL is unpacked under this name beside the old one, then renamed
; over it (at once, or at the restart when the old one is in use).
!define NEW_DLL "voxa.dll.new"
!define EXIT_FAILED 1
!define EXIT_REFUSED 3
!define EXIT_RESTART 3010

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${VOXA_LICENSE}"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE English

Var Bits        ; 32 or 64: Windows' own
Var StdOut      ; the standard output handle, or 0
Var Failed      ; 1 once a check failed

; ---- functions of the installer and the uninstaller alike ------------------

!macro VoxaCommonFunctions un
  ; Says TEXT (on the stack) in the details list and on standard output.
  Function ${un}Say
    Exch $0
    Push $1
    Push $2
    DetailPrint $0
    ${If} $StdOut P<> 0
    ${AndIf} $StdOut P<> -1
      StrCpy $1 "$0$\r$\n"
      System::Call "kernel32::lstrlenA(m r1) i .r2"
      System::Call "kernel32::WriteFile(p $StdOut, m r1, i r2, *i .r2, p 0)"
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
  FunctionEnd

  ; Windows' bitness into $Bits (0 for a processor this package is not for),
  ; the standard output into $StdOut.
  Function ${un}Prepare
    System::Call "kernel32::GetStdHandle(i -11) p .s"
    Pop $StdOut
    StrCpy $Failed 0
    ${If} ${IsNativeAMD64}
      StrCpy $Bits 64
    ${ElseIf} ${IsNativeIA32}
      StrCpy $Bits 32
    ${Else}
      StrCpy $Bits 0
    ${EndIf}
  FunctionEnd

!macroend
!insertmacro VoxaCommonFunctions ""
!insertmacro VoxaCommonFunctions "un."

!macro Say text
  Push "${text}"
  Call Say
!macroend
!macro UnSay text
  Push "${text}"
  Call un.Say
!macroend
!define Say "!insertmacro Say"
!define UnSay "!insertmacro UnSay"

; Ends the installer with the given exit status after saying TEXT (GUI: in a
; message box too).
!macro QuitWith status text
  ${Say} "${text}"
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel ${status}
  Quit
!macroend

; ---- installing ----------------------------------------------------------------

; The size in bytes of the file named on the stack ("" when it is missing).
Function FileSize
  Exch $0
  Push $1
  ClearErrors
  FileOpen $1 $0 r
  ${If} ${Errors}
    StrCpy $0 ""
  ${Else}
    FileSeek $1 0 END $0
    FileClose $1
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  Call Prepare
  ${If} $Bits == 0
    !insertmacro QuitWith ${EXIT_FAILED} "install: FAILED: this setup program is for x86 and x64 Windows"
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    !insertmacro QuitWith ${EXIT_FAILED} "install: FAILED: administrator rights needed: right-click the setup program, $\"Run as administrator$\""
  ${EndIf}
  ${If} $Bits == 64
    SetRegView 64
    StrCpy $INSTDIR "$PROGRAMFILES64\voxa"
  ${EndIf}

  ; A copy installed before, by this setup program: upgrade it in place, but
  ; replace a newer one only when asked to.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
    StrCpy $INSTDIR $1
  ${EndIf}
  ${If} $0 != ""
    ${VersionCompare} $0 "${VOXA_VERSION}" $2
    ${If} $2 == 1
      ${GetParameters} $3
      ClearErrors
      ${GetOptions} $3 "/ALLOWDOWNGRADE" $4
      ${If} ${Errors}
        MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 \
          "Version $0 of the VOXA codec is installed, newer than this setup's ${VOXA_VERSION}.$\r$\n$\r$\nReplace it with the older version?" \
          /SD IDNO IDYES downgrade
        !insertmacro QuitWith ${EXIT_REFUSED} "install: FAILED: version $0 is installed, newer than this setup's ${VOXA_VERSION}: nothing changed (uninstall it first, or run the setup program with /ALLOWDOWNGRADE)"
      ${EndIf}
      downgrade:
    ${EndIf}
  ${EndIf}
FunctionEnd

; Says that the install failed and ends it with status 1.
!macro InstallFailed text
  ${Say} "install: FAILED: ${text}"
  ${Say} "install: the codec is NOT installed"
  MessageBox MB_OK|MB_ICONSTOP "The VOXA codec is NOT installed:$\r$\n${text}" /SD IDOK
  SetErrorLevel ${EXIT_FAILED}
  Abort
!macroend

; Puts SOURCE (a DLL of the package, by its path at build time) into
; FOLDER\voxa.dll: unpacked beside it, then renamed over the old one; when
; the old one is in use (a program has the codec loaded), Windows does the
; rename at the next restart. FOLDER is named in full ($WINDIR\...), with the
; redirection as it must be for it. Then writes the registry values of the
; current view and says what it did as install.cmd does. BITS and SHOWN
; (the folder as the messages name it) are for the messages.
!macro InstallCodec bits folder source sourcename
  SetOutPath "${folder}"
  ClearErrors
  File "/oname=${NEW_DLL}" "${source}"
  ${If} ${Errors}
    !insertmacro InstallFailed "cannot write ${folder}\${NEW_DLL}"
  ${EndIf}
  Push "${folder}\${NEW_DLL}"
  Call FileSize
  Pop $R1
  StrCpy $R2 ""
  ClearErrors
  Delete "${folder}\voxa.dll"
  ${If} ${Errors}
    ; MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT
    System::Call "kernel32::MoveFileExW(w '${folder}\${NEW_DLL}', w '${folder}\voxa.dll', i 5) i .r0"
    ${If} $0 == 0
      !insertmacro InstallFailed "${folder}\voxa.dll is in use and its replacement cannot be scheduled"
    ${EndIf}
    SetRebootFlag true
    StrCpy $R2 "in use"
  ${Else}
    ClearErrors
    Rename "${folder}\${NEW_DLL}" "${folder}\voxa.dll"
    ${If} ${Errors}
      !insertmacro InstallFailed "cannot rename ${folder}\${NEW_DLL} to voxa.dll"
    ${EndIf}
  ${EndIf}

  ClearErrors
  WriteRegStr HKLM "${DRIVERS32}" "vidc.VOXA" "voxa.dll"
  WriteRegStr HKLM "${DESCRIPTIONS}" "voxa.dll" "${VOXA_DESCRIPTION}"
  ${If} ${Errors}
    !insertmacro InstallFailed "cannot write the Drivers32 value vidc.VOXA in the ${bits}-bit registry"
  ${EndIf}

  ; Read back, as install.cmd checks.
  ReadRegStr $R3 HKLM "${DRIVERS32}" "vidc.VOXA"
  ReadRegStr $R4 HKLM "${DESCRIPTIONS}" "voxa.dll"
  ${If} $R3 != "voxa.dll"
    !insertmacro InstallFailed "Drivers32 value vidc.VOXA is $\"$R3$\", not voxa.dll, in the ${bits}-bit registry"
  ${EndIf}
  ${If} $R2 == ""
    Push "${folder}\voxa.dll"
    Call FileSize
    Pop $R5
    ${If} $R5 != $R1
      !insertmacro InstallFailed "${folder}\voxa.dll has $R5 bytes, not the $R1 of ${sourcename}"
    ${EndIf}
  ${EndIf}
  ${Say} "install: for ${bits}-bit programs: ${folder}\voxa.dll (${sourcename}, $R1 bytes), Drivers32 vidc.VOXA = voxa.dll ($\"$R4$\")"
  ${If} $R2 != ""
    ${Say} "install: ${folder}\voxa.dll is in use by a program: the new one replaces it when Windows restarts"
  ${EndIf}
  IntOp $R9 $R9 + $R1
!macroend

Section "VOXA codec"
  ${Say} "install: $Bits-bit Windows"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 == ""
  ${OrIf} $0 == "${VOXA_VERSION}"
  ${Else}
    ${VersionCompare} $0 "${VOXA_VERSION}" $1
    ${If} $1 == 1
      ${Say} "install: replacing the newer version $0 with ${VOXA_VERSION}, as asked"
    ${Else}
      ${Say} "install: upgrading version $0 to ${VOXA_VERSION}"
    ${EndIf}
  ${EndIf}

  ; $R9 adds up the bytes installed, for the installed-programs entry.
  StrCpy $R9 0
  ${If} $Bits == 64
    ${DisableX64FSRedirection}
    SetRegView 64
    !insertmacro InstallCodec 64 "$WINDIR\System32" "${VOXA_DLL64}" voxa64.dll
    ${EnableX64FSRedirection}
    SetRegView 32
    !insertmacro InstallCodec 32 "$WINDIR\SysWOW64" "${VOXA_DLL32}" voxa32.dll
    SetRegView 64
  ${Else}
    !insertmacro InstallCodec 32 "$SYSDIR" "${VOXA_DLL32}" voxa32.dll
  ${EndIf}

  SetOutPath "$INSTDIR"
  ClearErrors
  File "/oname=LICENSE.txt" "${VOXA_LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    !insertmacro InstallFailed "cannot write $INSTDIR\uninstall.exe"
  ${EndIf}
  Push "$INSTDIR\LICENSE.txt"
  Call FileSize
  Pop $0
  IntOp $R9 $R9 + $0
  Push "$INSTDIR\uninstall.exe"
  Call FileSize
  Pop $0
  IntOp $R9 $R9 + $0
  ; In kilobytes, rounded up.
  IntOp $R9 $R9 + 1023
  IntOp $R9 $R9 / 1024

  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${VOXA_PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VOXA_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${VOXA_PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $R9
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} ${Errors}
    !insertmacro InstallFailed "cannot write the installed-programs entry (HKLM\${UNINSTALL_KEY})"
  ${EndIf}
  ${Say} "install: uninstaller $INSTDIR\uninstall.exe, listed in the installed programs as $\"${VOXA_PRODUCT}$\" ${VOXA_VERSION}"

  ${If} ${RebootFlag}
    ${Say} "install: done: restart Windows to finish; programs started after that find the new VOXA codec (vidc.VOXA)"
    SetErrorLevel ${EXIT_RESTART}
  ${Else}
    ${Say} "install: done: programs started from now on find the VOXA codec (vidc.VOXA)"
    SetErrorLevel 0
  ${EndIf}
SectionEnd

; ---- uninstalling --------------------------------------------------------------

Function un.onInit
  Call un.Prepare
  ${If} $Bits == 0
    ${UnSay} "uninstall: FAILED: this uninstaller is for x86 and x64 Windows"
    SetErrorLevel ${EXIT_FAILED}
    Quit
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    ${UnSay} "uninstall: FAILED: administrator rights needed: run the uninstaller as administrator"
    MessageBox MB_OK|MB_ICONSTOP "Administrator rights are needed to remove the VOXA codec." /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Quit
  ${EndIf}
  ${If} $Bits == 64
    SetRegView 64
  ${EndIf}
FunctionEnd

; Removes FOLDER\voxa.dll (at the next restart when it is in use) and the
; registry values of the current view, then checks that they are gone, as
; uninstall.cmd does.
!macro RemoveCodec bits folder
  StrCpy $R2 ""
  Delete "${folder}\${NEW_DLL}"
  ClearErrors
  Delete "${folder}\voxa.dll"
  ${If} ${Errors}
    ; MOVEFILE_DELAY_UNTIL_REBOOT, no new name: removed at the restart.
    System::Call "kernel32::MoveFileExW(w '${folder}\voxa.dll', p 0, i 4) i .r0"
    ${If} $0 == 0
      ${UnSay} "uninstall: FAILED: ${folder}\voxa.dll is in use and its removal cannot be scheduled: close the programs that use the codec and run the uninstaller again"
      StrCpy $Failed 1
    ${Else}
      SetRebootFlag true
      StrCpy $R2 "in use"
    ${EndIf}
  ${EndIf}
  DeleteRegValue HKLM "${DRIVERS32}" "vidc.VOXA"
  DeleteRegValue HKLM "${DESCRIPTIONS}" "voxa.dll"

  ClearErrors
  ReadRegStr $0 HKLM "${DRIVERS32}" "vidc.VOXA"
  ${IfNot} ${Errors}
    ${UnSay} "uninstall: FAILED: the Drivers32 value vidc.VOXA is still in the ${bits}-bit registry"
    StrCpy $Failed 1
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKLM "${DESCRIPTIONS}" "voxa.dll"
  ${IfNot} ${Errors}
    ${UnSay} "uninstall: FAILED: the drivers.desc value voxa.dll is still in the ${bits}-bit registry"
    StrCpy $Failed 1
  ${EndIf}
  ${If} $R2 == "in use"
    ${UnSay} "uninstall: for ${bits}-bit programs: the Drivers32 value vidc.VOXA is gone; ${folder}\voxa.dll is in use by a program: it is removed when Windows restarts"
  ${ElseIf} ${FileExists} "${folder}\voxa.dll"
    ${UnSay} "uninstall: FAILED: ${folder}\voxa.dll is still there: is a program using the codec? Close it and run the uninstaller again"
    StrCpy $Failed 1
  ${Else}
    ${UnSay} "uninstall: for ${bits}-bit programs: ${folder}\voxa.dll and the Drivers32 value vidc.VOXA are gone"
  ${EndIf}
!macroend

Section "Uninstall"
  ${UnSay} "uninstall: $Bits-bit Windows"
  ${If} $Bits == 64
    ${DisableX64FSRedirection}
    SetRegView 64
    !insertmacro RemoveCodec 64 "$WINDIR\System32"
    ${EnableX64FSRedirection}
    SetRegView 32
    !insertmacro RemoveCodec 32 "$WINDIR\SysWOW64"
    SetRegView 64
  ${Else}
    !insertmacro RemoveCodec 32 "$SYSDIR"
  ${EndIf}

  ; What the setup program wrote besides: its entry, the uninstaller and the
  ; licence, and the folder if nothing else is left in it.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ClearErrors
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayName"
  ${IfNot} ${Errors}
    ${UnSay} "uninstall: FAILED: the installed-programs entry (HKLM\${UNINSTALL_KEY}) is still there"
    StrCpy $Failed 1
  ${ElseIf} ${FileExists} "$INSTDIR\*.*"
    ${UnSay} "uninstall: the installed-programs entry is gone; $INSTDIR is kept: it holds files that the setup program did not write"
  ${Else}
    ${UnSay} "uninstall: $INSTDIR and the installed-programs entry are gone"
  ${EndIf}

  ${If} $Failed != 0
    ${UnSay} "uninstall: the codec is NOT completely removed"
    MessageBox MB_OK|MB_ICONSTOP "The VOXA codec is NOT completely removed: see the details." /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
  ${ElseIf} ${RebootFlag}
    ${UnSay} "uninstall: done: the VOXA codec is no longer installed; voxa.dll was in use and is removed when Windows restarts"
    SetErrorLevel ${EXIT_RESTART}
  ${Else}
    ${UnSay} "uninstall: done: the VOXA codec is no longer installed"
    SetErrorLevel 0
  ${EndIf}
SectionEnd
