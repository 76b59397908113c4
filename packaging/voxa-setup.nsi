; voxa-setup.nsi: the setup program of the VOXA video codec, one program for
; 32- and 64-bit Windows, built with makensis by packaging/CMakeLists.txt
; (scripts/package.sh) beside the ZIP.
;
;   voxa-<version>-setup.exe [/S] [/ALLOWDOWNGRADE] [/FORCE]
;
; What goes where (the same as voxa.inf and install.cmd):
;   32-bit Windows: voxa32.dll -> System32\voxa.dll, Drivers32 of the registry.
;   64-bit Windows: voxa64.dll -> System32\voxa.dll, Drivers32 of the 64-bit
;                   registry; voxa32.dll -> SysWOW64\voxa.dll, Drivers32 of
;                   the 32-bit registry (Wow6432Node).
; Drivers32 gets vidc.VOXA = voxa.dll and drivers.desc voxa.dll = the codec's
; description. Beside each voxa.dll goes voxamf.dll, the Media Foundation
; decoder of the same bitness (voxamf32.dll, voxamf64.dll), registered by the
; regsvr32 of that bitness: its DllRegisterServer writes its class
; (HKCR\CLSID\{...}\InprocServer32) and its entry among Media Foundation's
; video decoders (MFTRegister) into that bitness's registry view; the
; uninstaller has regsvr32 /u remove both. The uninstaller and LICENSE.txt go
; into Program Files\voxa, and the installed-programs entry (Uninstall\voxa)
; into the native registry view.
;
; All or nothing: every new file is first written beside its final name
; (NAME.new, and a copy of the file it replaces as NAME.old), then each is
; renamed over the old one and the registry values are written. Each change
; is recorded in an undo log as it is made; any failure walks the log back,
; so that a failed upgrade leaves the old version as it was and a failed
; fresh install leaves nothing.
;
; A vidc.VOXA that names another DLL belongs to another codec: the setup
; program names it and stops (exit status 4), unless /FORCE is given (or,
; with its window, the user agrees); then the value it replaces is kept in
; HKLM\Software\voxa (ReplacedDriver) of that registry view, and the
; uninstaller puts it back.
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
; or removed when Windows restarts; 1 failed (as install.cmd) and undone, or
; cancelled by the user (NSIS's own); 3 refused: a newer version is installed
; (silently refused unless /ALLOWDOWNGRADE is given; asked about otherwise);
; 4 refused: another codec is registered as vidc.VOXA (silently refused
; unless /FORCE is given; asked about otherwise).
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
;   VOXA_DLL32, VOXA_DLL64, VOXA_MFT32, VOXA_MFT64, VOXA_LICENSE, VOXA_OUTFILE   paths

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
!insertmacro VoxaRequire VOXA_MFT32
!insertmacro VoxaRequire VOXA_MFT64
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
; Of each registry view: ReplacedDriver, the vidc.VOXA value of another codec
; that the install replaced (with /FORCE), for the uninstaller to put back.
!define VOXA_KEY "Software\voxa"
; The Media Foundation decoder's class, as voxamf.dll registers it.
!define MFT_CLASS_KEY "CLSID\{1B2A84A1-75B1-45B1-A68E-8DA858EBD088}"
!define EXIT_FAILED 1
!define EXIT_REFUSED 3
!define EXIT_TAKEN 4
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

Var Force       ; 1: another codec's vidc.VOXA may be replaced
Var Before      ; the version installed before ("" for none)
Var Error       ; what went wrong ("" while nothing did)
Var Broken      ; 1 once a change could not be undone
; The arguments of the functions below.
Var ArgPath
Var ArgSource
Var ArgWait
Var ArgView
Var ArgKey
Var ArgName
Var ArgType
Var ArgValue

; ${IsFile} PATH: PATH is a file (not a folder).
!macro _IsFile _a _b _t _f
  !insertmacro _LOGICLIB_TEMP
  StrCpy $_LOGICLIB_TEMP 0
  IfFileExists `${_b}\*.*` +3 0
  IfFileExists `${_b}` 0 +2
  StrCpy $_LOGICLIB_TEMP 1
  StrCmp $_LOGICLIB_TEMP 1 `${_t}` `${_f}`
!macroend
!define IsFile `"" IsFile`

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

; Another codec's vidc.VOXA in the current registry view (BITS-bit): named,
; and the install refused unless it may be replaced.
!macro CheckFourcc bits
  ReadRegStr $0 HKLM "${DRIVERS32}" "vidc.VOXA"
  ${If} $0 != ""
  ${AndIf} $0 != "voxa.dll"
    ReadRegStr $1 HKLM "${DESCRIPTIONS}" $0
    ${If} $1 != ""
      StrCpy $0 "$0 ($\"$1$\")"
    ${EndIf}
    ${If} $Force != 1
      ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "Another codec holds the FourCC VOXA for ${bits}-bit programs: vidc.VOXA = $0.$\r$\n$\r$\nReplace it with the VOXA codec? Uninstalling the VOXA codec puts it back." /SD IDNO IDYES`
        !insertmacro QuitWith ${EXIT_TAKEN} "install: FAILED: another codec holds the FourCC VOXA in the ${bits}-bit registry: vidc.VOXA = $0; nothing changed (run the setup program with /FORCE to replace it; uninstalling the VOXA codec puts it back)"
      ${EndIf}
      StrCpy $Force 1
    ${EndIf}
  ${EndIf}
!macroend

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
  ${GetParameters} $3
  StrCpy $Force 0
  ClearErrors
  ${GetOptions} $3 "/FORCE" $4
  ${IfNot} ${Errors}
    StrCpy $Force 1
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

  ; The FourCC: free, ours, or another codec's.
  ${If} $Bits == 64
    !insertmacro CheckFourcc 64
    SetRegView 32
    !insertmacro CheckFourcc 32
    SetRegView 64
  ${Else}
    !insertmacro CheckFourcc 32
  ${EndIf}
FunctionEnd

; ---- the undo log ----
; Every change is recorded on the stack, above a "log-start" mark, as six
; entries: what it was and five fields. Walked from the top, the log undoes
; the changes in reverse order, or, when the install succeeded, removes what
; was only kept for undoing. The records:
;   made PATH          a file the setup program wrote: removed on undo
;   temp PATH          a copy kept for undoing: removed either way
;   replaced PATH      PATH.old (if there) is the file PATH replaced: moved
;                      back on undo; without PATH.old, PATH is removed
;   folder PATH        a folder the setup program made: removed on undo when empty
;   key VIEW KEY       a registry key it made: removed on undo (its values
;                      are undone before)
;   value VIEW KEY NAME TYPE DATA   a registry value as it was before (TYPE
;                      sz or dword; none: it was not there): put back on undo
;   regsvr VIEW FOLDER SWITCH   FOLDER\voxamf.dll to be registered ("") or
;                      unregistered (/u) on undo, by FOLDER\regsvr32.exe
!macro Log what a b c d e
  Push `${e}`
  Push `${d}`
  Push `${c}`
  Push `${b}`
  Push `${a}`
  Push `${what}`
!macroend

Var Undoing     ; 1: the walk undoes; 0: the install succeeded
Var LogWhat
Var Log1
Var Log2
Var Log3
Var Log4
Var Log5

; Walks the log down to its mark; $Undoing says how. A change that cannot be
; undone is said and sets $Broken.
Function WalkLog
  ${If} $Bits == 64
    ${DisableX64FSRedirection}
  ${EndIf}
  ${Do}
    ClearErrors
    Pop $LogWhat
    ${If} ${Errors}
    ${OrIf} $LogWhat == "log-start"
      ${Break}
    ${EndIf}
    Pop $Log1
    Pop $Log2
    Pop $Log3
    Pop $Log4
    Pop $Log5
    ${If} $LogWhat == "temp"
      Delete $Log1
    ${ElseIf} $Undoing != 1
      ; The install succeeded: everything else stays.
    ${ElseIf} $LogWhat == "made"
      Delete $Log1
      ${If} ${IsFile} $Log1
        ${Say} "install: FAILED: cannot remove $Log1"
        StrCpy $Broken 1
      ${EndIf}
    ${ElseIf} $LogWhat == "replaced"
      ClearErrors
      ${If} ${IsFile} "$Log1.old"
        ; MOVEFILE_REPLACE_EXISTING
        System::Call "kernel32::MoveFileExW(w '$Log1.old', w '$Log1', i 1) i .r0"
        ${If} $0 == 0
          ${Say} "install: FAILED: cannot put back $Log1 (its copy is $Log1.old)"
          StrCpy $Broken 1
        ${EndIf}
      ${Else}
        Delete $Log1
        ${If} ${Errors}
          ${Say} "install: FAILED: cannot remove $Log1"
          StrCpy $Broken 1
        ${EndIf}
      ${EndIf}
    ${ElseIf} $LogWhat == "folder"
      RMDir $Log1
    ${ElseIf} $LogWhat == "regsvr"
      ExecWait '"$Log2\regsvr32.exe" $Log3 /s "$Log2\voxamf.dll"' $0
      ${If} $0 != 0
        StrCpy $1 "registered again"
        ${If} $Log3 == "/u"
          StrCpy $1 "unregistered"
        ${EndIf}
        ${Say} "install: FAILED: $Log2\voxamf.dll, the Media Foundation decoder, cannot be $1 (regsvr32 exit status $0)"
        StrCpy $Broken 1
      ${EndIf}
    ${Else}
      ${If} $Log1 == 64
        SetRegView 64
      ${Else}
        SetRegView 32
      ${EndIf}
      ClearErrors
      ${If} $LogWhat == "key"
        DeleteRegKey /ifempty HKLM $Log2
      ${ElseIf} $Log4 == "sz"
        WriteRegStr HKLM $Log2 $Log3 $Log5
      ${ElseIf} $Log4 == "dword"
        WriteRegDWORD HKLM $Log2 $Log3 $Log5
      ${Else}
        DeleteRegValue HKLM $Log2 $Log3
        ClearErrors
        ReadRegStr $0 HKLM $Log2 $Log3
        ${If} ${Errors}
          ClearErrors
        ${Else}
          SetErrors
        ${EndIf}
      ${EndIf}
      ${If} ${Errors}
        ${Say} "install: FAILED: cannot put back the value $Log3 of HKLM\$Log2 in the $Log1-bit registry"
        StrCpy $Broken 1
      ${EndIf}
    ${EndIf}
  ${Loop}
  ${If} $Bits == 64
    ${EnableX64FSRedirection}
    SetRegView 64
  ${EndIf}
FunctionEnd

; Writes $ArgPath.new from $ArgSource and, when $ArgPath is a file, keeps a
; copy of it as $ArgPath.old; both recorded. Sets $Error on failure.
Function StageFile
  ; CopyFileW, failing if the target is there and cannot be overwritten (a
  ; folder, say).
  System::Call "kernel32::CopyFileW(w '$ArgSource', w '$ArgPath.new', i 0) i .r0 ?e"
  Pop $1
  ${If} $0 == 0
    StrCpy $Error "cannot write $ArgPath.new (Windows error $1)"
    Return
  ${EndIf}
  !insertmacro Log made "$ArgPath.new" "" "" "" ""
  Delete "$ArgPath.old"
  ${If} ${IsFile} $ArgPath
    System::Call "kernel32::CopyFileW(w '$ArgPath', w '$ArgPath.old', i 0) i .r0 ?e"
    Pop $1
    ${If} $0 == 0
      StrCpy $Error "cannot copy $ArgPath to $ArgPath.old (Windows error $1)"
      Return
    ${EndIf}
    !insertmacro Log temp "$ArgPath.old" "" "" "" ""
  ${EndIf}
FunctionEnd

; Renames $ArgPath.new over $ArgPath, recorded. When $ArgWait is 1 and
; $ArgPath is a file that cannot be replaced now (a program has it loaded),
; Windows renames it at the next restart: $R2 says "in use". Sets $Error on
; failure.
Function ReplaceFile
  StrCpy $R2 ""
  ; MOVEFILE_REPLACE_EXISTING: the old file stays until the new one takes
  ; its name.
  System::Call "kernel32::MoveFileExW(w '$ArgPath.new', w '$ArgPath', i 1) i .r0 ?e"
  Pop $1
  ${If} $0 != 0
    !insertmacro Log replaced $ArgPath "" "" "" ""
  ${ElseIf} $ArgWait == 1
  ${AndIf} ${IsFile} $ArgPath
    ; In use. MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT; the
    ; record of $ArgPath.new undoes it (no file, no rename).
    System::Call "kernel32::MoveFileExW(w '$ArgPath.new', w '$ArgPath', i 5) i .r0"
    ${If} $0 == 0
      StrCpy $Error "$ArgPath is in use and its replacement cannot be scheduled"
      Return
    ${EndIf}
    SetRebootFlag true
    StrCpy $R2 "in use"
  ${ElseIf} ${FileExists} "$ArgPath\*.*"
    StrCpy $Error "$ArgPath is a folder"
  ${Else}
    StrCpy $Error "cannot rename $ArgPath.new to $ArgPath (Windows error $1)"
  ${EndIf}
FunctionEnd

; Sets the value $ArgName of HKLM\$ArgKey in the $ArgView-bit registry to
; $ArgValue, of $ArgType sz or dword, or removes it (delete); what it was is
; recorded. Sets $Error on failure.
Function SetValue
  ${If} $ArgView == 64
    SetRegView 64
  ${Else}
    SetRegView 32
  ${EndIf}
  ClearErrors
  ReadRegDWORD $0 HKLM $ArgKey $ArgName
  StrCpy $1 dword
  ${If} ${Errors}
    ClearErrors
    ReadRegStr $0 HKLM $ArgKey $ArgName
    StrCpy $1 sz
    ${If} ${Errors}
      StrCpy $1 none
    ${EndIf}
  ${EndIf}
  ${If} $ArgType == "delete"
  ${AndIf} $1 == "none"
    Return
  ${EndIf}
  !insertmacro Log value $ArgView $ArgKey $ArgName $1 $0
  ClearErrors
  ${If} $ArgType == "sz"
    WriteRegStr HKLM $ArgKey $ArgName $ArgValue
  ${ElseIf} $ArgType == "dword"
    WriteRegDWORD HKLM $ArgKey $ArgName $ArgValue
  ${Else}
    DeleteRegValue HKLM $ArgKey $ArgName
  ${EndIf}
  ${If} ${Errors}
    StrCpy $Error "cannot write the value $ArgName of HKLM\$ArgKey in the $ArgView-bit registry"
  ${EndIf}
FunctionEnd

; Records HKLM\$ArgKey of the $ArgView-bit registry as a key the setup
; program makes, when it is not there yet.
Function LogNewKey
  ${If} $ArgView == 64
    SetRegView 64
  ${Else}
    SetRegView 32
  ${EndIf}
  ClearErrors
  EnumRegKey $0 HKLM $ArgKey 0
  ${If} ${Errors}
    !insertmacro Log key $ArgView $ArgKey "" "" ""
  ${EndIf}
FunctionEnd
!macro LogNewKey view key
  StrCpy $ArgView ${view}
  StrCpy $ArgKey "${key}"
  Call LogNewKey
!macroend

!macro SetValue view key name type value
  StrCpy $ArgView ${view}
  StrCpy $ArgKey "${key}"
  StrCpy $ArgName "${name}"
  StrCpy $ArgType ${type}
  StrCpy $ArgValue "${value}"
  Call SetValue
  ${If} $Error != ""
    !insertmacro InstallFailed $Error
  ${EndIf}
!macroend

; Says that the install failed, undoes everything it did, says so and ends
; it with status 1.
!macro InstallFailed text
  ${Say} "install: FAILED: ${text}"
  Call Undo
  MessageBox MB_OK|MB_ICONSTOP "The VOXA codec is NOT installed:$\r$\n${text}$\r$\n$\r$\nSee the details for what was undone." /SD IDOK
  SetErrorLevel ${EXIT_FAILED}
  Abort
!macroend

Function Undo
  StrCpy $Undoing 1
  StrCpy $Broken 0
  Call WalkLog
  ${If} $Broken == 1
    ${Say} "install: the codec is NOT installed, and not all that the setup program changed could be undone: see above"
  ${ElseIf} $Before == ""
    ${Say} "install: undone: nothing of it is left"
    ${Say} "install: the codec is NOT installed"
  ${ElseIf} $Before == "${VOXA_VERSION}"
    ${Say} "install: undone: version $Before is installed as it was"
    ${Say} "install: the codec is NOT installed again"
  ${Else}
    ${Say} "install: undone: version $Before is installed as it was"
    ${Say} "install: version ${VOXA_VERSION} is NOT installed"
  ${EndIf}
FunctionEnd

; StageFile and ReplaceFile, ending the install when they fail.
!macro Stage source path
  StrCpy $ArgSource "${source}"
  StrCpy $ArgPath "${path}"
  Call StageFile
  ${If} $Error != ""
    !insertmacro InstallFailed $Error
  ${EndIf}
!macroend
!macro Replace path wait
  StrCpy $ArgPath "${path}"
  StrCpy $ArgWait ${wait}
  Call ReplaceFile
  ${If} $Error != ""
    !insertmacro InstallFailed $Error
  ${EndIf}
!macroend

; Puts FOLDER\voxa.dll.new in place of FOLDER\voxa.dll; when the old one is
; in use (a program has the codec loaded), Windows does the rename at the
; next restart. FOLDER is named in full ($WINDIR\...), with the redirection
; as it must be for it. Then writes the registry values of the BITS-bit view
; and says what it did as install.cmd does.
!macro InstallCodec bits folder sourcename
  !insertmacro Replace "${folder}\voxa.dll" 1
  Push "$PLUGINSDIR\${sourcename}"
  Call FileSize
  Pop $R1

  ; Another codec's value, replaced as allowed, is kept for the uninstaller;
  ; a value kept by an earlier install stays while vidc.VOXA is ours.
  SetRegView ${bits}
  ReadRegStr $R3 HKLM "${DRIVERS32}" "vidc.VOXA"
  ${If} $R3 == ""
    !insertmacro SetValue ${bits} "${VOXA_KEY}" ReplacedDriver delete ""
  ${ElseIf} $R3 != "voxa.dll"
    !insertmacro LogNewKey ${bits} "${VOXA_KEY}"
    !insertmacro SetValue ${bits} "${VOXA_KEY}" ReplacedDriver sz $R3
    ${Say} "install: the Drivers32 value vidc.VOXA = $R3 of the ${bits}-bit registry is replaced, as asked; uninstalling puts it back"
  ${EndIf}
  !insertmacro SetValue ${bits} "${DRIVERS32}" vidc.VOXA sz voxa.dll
  !insertmacro SetValue ${bits} "${DESCRIPTIONS}" voxa.dll sz "${VOXA_DESCRIPTION}"

  ; Read back, as install.cmd checks.
  SetRegView ${bits}
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
  !insertmacro InstallDecoder ${bits} "${folder}"
!macroend

; Puts FOLDER\voxamf.dll.new in place of FOLDER\voxamf.dll (at the next
; restart when a program holds the old one) and registers it with
; FOLDER\regsvr32.exe, the regsvr32 of its bitness; then checks its class in
; the BITS-bit registry. The undo unregisters it, or, when the version
; installed before had it registered, registers that one again once it is
; back (the first record is walked last).
!macro InstallDecoder bits folder
  SetRegView ${bits}
  ClearErrors
  ReadRegStr $R6 HKCR "${MFT_CLASS_KEY}\InprocServer32" ""
  StrCpy $R7 "registered before"
  ${If} ${Errors}
    StrCpy $R7 ""
  ${Else}
    !insertmacro Log regsvr ${bits} "${folder}" "" "" ""
  ${EndIf}
  !insertmacro Replace "${folder}\voxamf.dll" 1
  ExecWait '"${folder}\regsvr32.exe" /s "${folder}\voxamf.dll"' $R6
  ${If} $R6 != 0
    !insertmacro InstallFailed "regsvr32 cannot register ${folder}\voxamf.dll, the Media Foundation decoder (exit status $R6)"
  ${EndIf}
  ${If} $R7 == ""
    !insertmacro Log regsvr ${bits} "${folder}" "/u" "" ""
  ${EndIf}
  SetRegView ${bits}
  ReadRegStr $R6 HKCR "${MFT_CLASS_KEY}\InprocServer32" ""
  ${If} $R6 != "${folder}\voxamf.dll"
    !insertmacro InstallFailed "the Media Foundation decoder's class names $\"$R6$\", not ${folder}\voxamf.dll, in the ${bits}-bit registry"
  ${EndIf}
  Push "$PLUGINSDIR\voxamf${bits}.dll"
  Call FileSize
  Pop $R1
  IntOp $R9 $R9 + $R1
  ${Say} "install: for ${bits}-bit programs: ${folder}\voxamf.dll (voxamf${bits}.dll, $R1 bytes), registered as a Media Foundation video decoder"
  ${If} $R2 != ""
    ${Say} "install: ${folder}\voxamf.dll is in use by a program: the new one replaces it when Windows restarts"
  ${EndIf}
!macroend

Section "VOXA codec"
  ${Say} "install: $Bits-bit Windows"
  ReadRegStr $Before HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $Before == ""
  ${OrIf} $Before == "${VOXA_VERSION}"
  ${Else}
    ${VersionCompare} $Before "${VOXA_VERSION}" $1
    ${If} $1 == 1
      ${Say} "install: replacing the newer version $Before with ${VOXA_VERSION}, as asked"
    ${Else}
      ${Say} "install: upgrading version $Before to ${VOXA_VERSION}"
    ${EndIf}
  ${EndIf}
  StrCpy $Error ""
  Push "log-start"

  ; The package's files, unpacked where nothing depends on them.
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  ClearErrors
  File "/oname=voxa32.dll" "${VOXA_DLL32}"
  File "/oname=voxa64.dll" "${VOXA_DLL64}"
  File "/oname=voxamf32.dll" "${VOXA_MFT32}"
  File "/oname=voxamf64.dll" "${VOXA_MFT64}"
  File "/oname=LICENSE.txt" "${VOXA_LICENSE}"
  WriteUninstaller "$PLUGINSDIR\uninstall.exe"
  ${If} ${Errors}
    !insertmacro InstallFailed "cannot unpack the package into $PLUGINSDIR"
  ${EndIf}

  ; First every new file beside its final name: nothing is replaced yet.
  ${If} $Bits == 64
    ${DisableX64FSRedirection}
    !insertmacro Stage "$PLUGINSDIR\voxa64.dll" "$WINDIR\System32\voxa.dll"
    !insertmacro Stage "$PLUGINSDIR\voxamf64.dll" "$WINDIR\System32\voxamf.dll"
    ${EnableX64FSRedirection}
    !insertmacro Stage "$PLUGINSDIR\voxa32.dll" "$WINDIR\SysWOW64\voxa.dll"
    !insertmacro Stage "$PLUGINSDIR\voxamf32.dll" "$WINDIR\SysWOW64\voxamf.dll"
  ${Else}
    !insertmacro Stage "$PLUGINSDIR\voxa32.dll" "$SYSDIR\voxa.dll"
    !insertmacro Stage "$PLUGINSDIR\voxamf32.dll" "$SYSDIR\voxamf.dll"
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    CreateDirectory "$INSTDIR"
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
      !insertmacro InstallFailed "cannot make the folder $INSTDIR"
    ${EndIf}
    !insertmacro Log folder "$INSTDIR" "" "" "" ""
  ${EndIf}
  !insertmacro Stage "$PLUGINSDIR\LICENSE.txt" "$INSTDIR\LICENSE.txt"
  !insertmacro Stage "$PLUGINSDIR\uninstall.exe" "$INSTDIR\uninstall.exe"

  ; Then each in place, and the registry. $R9 adds up the bytes installed,
  ; for the installed-programs entry.
  StrCpy $R9 0
  ${If} $Bits == 64
    ${DisableX64FSRedirection}
    !insertmacro InstallCodec 64 "$WINDIR\System32" voxa64.dll
    ${EnableX64FSRedirection}
    !insertmacro InstallCodec 32 "$WINDIR\SysWOW64" voxa32.dll
    SetRegView 64
  ${Else}
    !insertmacro InstallCodec 32 "$SYSDIR" voxa32.dll
  ${EndIf}
  !insertmacro Replace "$INSTDIR\LICENSE.txt" 0
  !insertmacro Replace "$INSTDIR\uninstall.exe" 0
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

  !insertmacro LogNewKey $Bits "${UNINSTALL_KEY}"
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" DisplayName sz "${VOXA_PRODUCT}"
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" DisplayVersion sz "${VOXA_VERSION}"
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" Publisher sz "${VOXA_PUBLISHER}"
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" InstallLocation sz "$INSTDIR"
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" UninstallString sz "$\"$INSTDIR\uninstall.exe$\""
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" QuietUninstallString sz "$\"$INSTDIR\uninstall.exe$\" /S"
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" EstimatedSize dword $R9
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" NoModify dword 1
  !insertmacro SetValue $Bits "${UNINSTALL_KEY}" NoRepair dword 1
  ${Say} "install: uninstaller $INSTDIR\uninstall.exe, listed in the installed programs as $\"${VOXA_PRODUCT}$\" ${VOXA_VERSION}"

  ; Done: the copies kept for undoing go.
  StrCpy $Undoing 0
  Call WalkLog
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

; Deletes FOLDER\NAME and what a failed install may have left beside it
; (NAME.new, NAME.old), or has Windows delete it at the next restart when a
; program holds it: then VAR says "in use".
!macro DeleteInstalled folder name var
  StrCpy ${var} ""
  Delete "${folder}\${name}.new"
  Delete "${folder}\${name}.old"
  ClearErrors
  Delete "${folder}\${name}"
  ${If} ${Errors}
    ; MOVEFILE_DELAY_UNTIL_REBOOT, no new name: removed at the restart.
    System::Call "kernel32::MoveFileExW(w '${folder}\${name}', p 0, i 4) i .r0"
    ${If} $0 == 0
      ${UnSay} "uninstall: FAILED: ${folder}\${name} is in use and its removal cannot be scheduled: close the programs that use the codec and run the uninstaller again"
      StrCpy $Failed 1
    ${Else}
      SetRebootFlag true
      StrCpy ${var} "in use"
    ${EndIf}
  ${EndIf}
!macroend

; Unregisters FOLDER\voxamf.dll, the Media Foundation decoder, with the
; regsvr32 of its bitness (which loads it: before it is deleted), deletes it,
; and checks that its class is gone from the current view (BITS-bit).
!macro RemoveDecoder bits folder
  ${If} ${FileExists} "${folder}\voxamf.dll"
    ExecWait '"${folder}\regsvr32.exe" /u /s "${folder}\voxamf.dll"' $0
  ${EndIf}
  !insertmacro DeleteInstalled "${folder}" voxamf.dll $R7
  ClearErrors
  ReadRegStr $0 HKCR "${MFT_CLASS_KEY}\InprocServer32" ""
  ${IfNot} ${Errors}
    ${UnSay} "uninstall: FAILED: the Media Foundation decoder is still registered in the ${bits}-bit registry ($0)"
    StrCpy $Failed 1
  ${ElseIf} $R7 == "in use"
    ${UnSay} "uninstall: for ${bits}-bit programs: the Media Foundation decoder is unregistered; ${folder}\voxamf.dll is in use by a program: it is removed when Windows restarts"
  ${Else}
    ${UnSay} "uninstall: for ${bits}-bit programs: the Media Foundation decoder is unregistered and ${folder}\voxamf.dll is gone"
  ${EndIf}
!macroend

; Removes FOLDER\voxa.dll (at the next restart when it is in use) and the
; registry values of the current view (BITS-bit), then checks that they are
; gone, as uninstall.cmd does. vidc.VOXA goes only while it names voxa.dll,
; and then gives way to the other codec's value that the install replaced;
; drivers.desc voxa.dll goes only while it holds this codec's description.
!macro RemoveCodec bits folder
  !insertmacro RemoveDecoder ${bits} "${folder}"
  !insertmacro DeleteInstalled "${folder}" voxa.dll $R2

  ; $R5: what vidc.VOXA must be afterwards ("" none); $R6 says what it is.
  ReadRegStr $R3 HKLM "${DRIVERS32}" "vidc.VOXA"
  ReadRegStr $R4 HKLM "${VOXA_KEY}" "ReplacedDriver"
  StrCpy $R5 ""
  StrCpy $R6 "the Drivers32 value vidc.VOXA is gone"
  ${If} $R3 != "voxa.dll"
  ${AndIf} $R3 != ""
    StrCpy $R5 $R3
    StrCpy $R6 "the Drivers32 value vidc.VOXA = $R3 is another codec's: left as it is"
  ${ElseIf} $R4 != ""
    StrCpy $R5 $R4
    StrCpy $R6 "the Drivers32 value vidc.VOXA = $R4 is back (the codec the install replaced)"
    WriteRegStr HKLM "${DRIVERS32}" "vidc.VOXA" $R4
  ${Else}
    DeleteRegValue HKLM "${DRIVERS32}" "vidc.VOXA"
  ${EndIf}
  ReadRegStr $0 HKLM "${DESCRIPTIONS}" "voxa.dll"
  ${If} $0 == "${VOXA_DESCRIPTION}"
    DeleteRegValue HKLM "${DESCRIPTIONS}" "voxa.dll"
  ${EndIf}
  DeleteRegValue HKLM "${VOXA_KEY}" "ReplacedDriver"
  DeleteRegKey /ifempty HKLM "${VOXA_KEY}"

  ClearErrors
  ReadRegStr $0 HKLM "${DRIVERS32}" "vidc.VOXA"
  ${If} $R5 == ""
    ${IfNot} ${Errors}
      ${UnSay} "uninstall: FAILED: the Drivers32 value vidc.VOXA is still in the ${bits}-bit registry"
      StrCpy $Failed 1
    ${EndIf}
  ${ElseIf} $0 != $R5
    ${UnSay} "uninstall: FAILED: the Drivers32 value vidc.VOXA is $\"$0$\", not $R5, in the ${bits}-bit registry"
    StrCpy $Failed 1
  ${EndIf}
  ReadRegStr $0 HKLM "${DESCRIPTIONS}" "voxa.dll"
  ${If} $0 == "${VOXA_DESCRIPTION}"
    ${UnSay} "uninstall: FAILED: the drivers.desc value voxa.dll is still in the ${bits}-bit registry"
    StrCpy $Failed 1
  ${EndIf}
  ${If} $R2 == "in use"
    ${UnSay} "uninstall: for ${bits}-bit programs: $R6; ${folder}\voxa.dll is in use by a program: it is removed when Windows restarts"
  ${ElseIf} ${FileExists} "${folder}\voxa.dll"
    ${UnSay} "uninstall: FAILED: ${folder}\voxa.dll is still there: is a program using the codec? Close it and run the uninstaller again"
    StrCpy $Failed 1
  ${Else}
    ${UnSay} "uninstall: for ${bits}-bit programs: ${folder}\voxa.dll is gone; $R6"
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
  Delete "$INSTDIR\LICENSE.txt.new"
  Delete "$INSTDIR\uninstall.exe.new"
  Delete "$INSTDIR\LICENSE.txt.old"
  Delete "$INSTDIR\uninstall.exe.old"
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
