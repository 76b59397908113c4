#!/bin/bash
# Installs the Windows release package into Wine prefixes of its own and
# checks the result the way a program sees it: icopen_probe (built in both
# Windows presets, it registers nothing itself) must open the codec with
# ICOpen(vidc, VOXA) after installing and must fail to after uninstalling,
# and MFTEnumEx must find the Media Foundation decoder (which decodes a clip
# through the Media Session) after install.cmd and not after uninstall.cmd
# (the INF alone copies it but does not register it).
#
#   scripts/test-install.sh
#
# Needs the win32 and win64 presets configured (scripts/test-all.sh does
# that); builds voxa_dll and icopen_probe in both, makes the ZIP with
# scripts/package.sh --no-build and unpacks it into a folder whose path has a
# space, as a user's download folder may. Then, in a 64-bit (wow64) prefix,
# build/win64/install-prefix:
#   - the INF through the 64-bit rundll32 (DefaultInstall, DefaultUninstall),
#   - the INF through the 32-bit rundll32 (32-bit codec only),
#   - install.cmd and uninstall.cmd from a 32-bit and from a 64-bit cmd.exe,
#   - the scripts' own checks against a package whose INF is broken;
# and in a 32-bit prefix, build/win32/install-prefix: the INF and the
# scripts. In both, the scripts are all or nothing (a folder in the way of a
# DLL, an upgrade whose INF registers another DLL name: nothing of them stays)
# and keep another codec's vidc.VOXA (refused; replaced with /force and put
# back by uninstall.cmd); a 32-bit decoder that does not register leaves
# nothing either. Each case checks the DLLs (byte for byte), the Drivers32 and
# drivers.desc values of each registry view and both probes. The prefixes
# are made once (wineboot, 10-20 s each) and kept; every run first removes
# whatever an earlier run left installed.
#
# Ends with "install-test: N passed, M failed"; exit status 0 when all passed.
set -uo pipefail

source "$(dirname "$0")/test-steps.sh" install-test

# ---- the builds and the package -----------------------------------------------

build_presets "voxa_dll voxa_mft_dll icopen_probe voxa_media_foundation_tests" win32 win64

zip=$(scripts/package.sh --no-build | tail -n 1) || die "scripts/package.sh"
work=$root/build/install-test
mkdir -p "$work"
exec 8>"$work/.lock"
flock 8 || die "cannot lock $work"
rm -rf "$work/unpacked here"
mkdir -p "$work/unpacked here"
unzip -q "$zip" -d "$work/unpacked here" || die "unzip $zip"
pkg=$(echo "$work/unpacked here"/voxa-*-windows)
[ -f "$pkg/voxa.inf" ] || die "no voxa.inf in the package ($pkg)"
note "package $zip unpacked into $pkg"

# A Unix path as Wine's drive Z sees it.
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }
pkg_win=$(winpath "$pkg")

drivers32='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32'
descriptions='HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc'
description='Brenmoor Y16 + Alpha RLE'

# reg_value VIEW KEY NAME: the REG_SZ data of a value ("" when absent). VIEW is
# 32 or 64, or "" for the only view of a 32-bit prefix.
reg_value() {
  local view=()
  [ -n "$1" ] && view=("/reg:$1")
  prefix_run reg-query reg query "$2" /v "$3" "${view[@]}"
  [ "$status" -eq 0 ] || return 0
  printf '%s\n' "$output" | awk -v name="$3" '$1 == name && $2 == "REG_SZ" {
    sub(/^[ \t]*[^ \t]+[ \t]+REG_SZ[ \t]+/, ""); print; exit }'
}

# expect_probe BITS STATUS: icopen_probe of that bitness exits with STATUS.
expect_probe() {
  prefix_run "probe$1" "$root/build/win$1/tests/icopen_probe.exe"
  if [ "$status" -eq "$2" ]; then
    pass "$1-bit program: $output"
  else
    fail "$1-bit program: icopen_probe exited with $status, not $2: $output"
  fi
}

# expect_dll FILE SOURCE: FILE in the prefix is the package's SOURCE, byte for byte.
expect_dll() {
  if cmp -s "$WINEPREFIX/drive_c/windows/$1" "$pkg/$2"; then
    pass "windows/$1 is $2"
  else
    fail "windows/$1 is not the package's $2 ($(ls -l "$WINEPREFIX/drive_c/windows/$1" 2>&1))"
  fi
}
expect_no_file() {
  if [ -e "$WINEPREFIX/drive_c/windows/$1" ]; then
    fail "windows/$1 is still there"
  else
    pass "no windows/$1"
  fi
}

# expect_registered VIEW / expect_unregistered VIEW: the Drivers32 and
# drivers.desc values of that registry view.
expect_registered() {
  local value desc
  value=$(reg_value "$1" "$drivers32" vidc.VOXA)
  desc=$(reg_value "$1" "$descriptions" voxa.dll)
  if [ "$value" = voxa.dll ] && [ "$desc" = "$description" ]; then
    pass "registry view ${1:-(only)}: vidc.VOXA = $value, drivers.desc voxa.dll = $desc"
  else
    fail "registry view ${1:-(only)}: vidc.VOXA = '$value', drivers.desc voxa.dll = '$desc'"
  fi
}
expect_unregistered() {
  local value desc
  value=$(reg_value "$1" "$drivers32" vidc.VOXA)
  desc=$(reg_value "$1" "$descriptions" voxa.dll)
  if [ -z "$value" ] && [ -z "$desc" ]; then
    pass "registry view ${1:-(only)}: no vidc.VOXA, no drivers.desc voxa.dll"
  else
    fail "registry view ${1:-(only)}: vidc.VOXA = '$value', drivers.desc voxa.dll = '$desc' left"
  fi
}

# The whole state of a prefix, installed (by the scripts, or by the INF
# alone: "inf", the decoder not registered) or not.
installed_wow64() {
  expect_dll system32/voxa.dll voxa64.dll
  expect_dll syswow64/voxa.dll voxa32.dll
  expect_dll system32/voxamf.dll voxamf64.dll
  expect_dll syswow64/voxamf.dll voxamf32.dll
  expect_registered 64
  expect_registered 32
  expect_probe 64 0
  expect_probe 32 0
  local decoder=found
  [ "${1:-}" = inf ] && decoder=absent
  expect_decoder 64 $decoder
  expect_decoder 32 $decoder
}
uninstalled_wow64() {
  expect_no_file system32/voxa.dll
  expect_no_file syswow64/voxa.dll
  expect_no_file system32/voxamf.dll
  expect_no_file syswow64/voxamf.dll
  expect_unregistered 64
  expect_unregistered 32
  expect_probe 64 1
  expect_probe 32 1
  expect_decoder 64 absent
  expect_decoder 32 absent
}
installed_win32() {
  expect_dll system32/voxa.dll voxa32.dll
  expect_dll system32/voxamf.dll voxamf32.dll
  expect_registered ""
  expect_probe 32 0
  local decoder=found
  [ "${1:-}" = inf ] && decoder=absent
  expect_decoder 32 $decoder
}
uninstalled_win32() {
  expect_no_file system32/voxa.dll
  expect_no_file system32/voxamf.dll
  expect_unregistered ""
  expect_probe 32 1
  expect_decoder 32 absent
}

# expect_taken VIEW: another codec's vidc.VOXA (other.dll) as it was, nothing
# of the codec's (no HKLM\Software\voxa either).
expect_taken() {
  local value desc kept=no
  value=$(reg_value "$1" "$drivers32" vidc.VOXA)
  desc=$(reg_value "$1" "$descriptions" voxa.dll)
  prefix_run reg-query reg query 'HKLM\Software\voxa' ${1:+/reg:$1}
  [ "$status" -eq 0 ] && kept=yes
  if [ "$value" = other.dll ] && [ -z "$desc" ] && [ "$kept" = no ]; then
    pass "registry view ${1:-(only)}: the other codec's vidc.VOXA = $value, no drivers.desc voxa.dll"
  else
    fail "registry view ${1:-(only)}: vidc.VOXA = '$value' (wanted other.dll), drivers.desc voxa.dll = '$desc', HKLM\Software\voxa there: $kept"
  fi
}

# expect_script NAME STATUS REGEX: the last run exited with STATUS and its
# output matches REGEX (extended).
expect_script() {
  if [ "$status" -eq "$2" ] && printf '%s\n' "$output" | grep -Eq "$3"; then
    pass "$1 exited with $status and said: $(printf '%s\n' "$output" | grep -E "$3" | head -n 1)"
  else
    fail "$1 exited with $status (wanted $2, and a line matching '$3'); it said:"
    printf '%s\n' "$output" | sed 's/^/    /'
  fi
}

# Removes whatever an earlier run left, without the INF.
reset_prefix() {
  local views=("$@") view folder windows=$WINEPREFIX/drive_c/windows
  # The decoders unregister themselves while they are there.
  if [ -d "$windows/syswow64" ]; then
    [ -f "$windows/system32/voxamf.dll" ] && prefix_run64 unregister regsvr32 /u /s 'C:\windows\system32\voxamf.dll'
    [ -f "$windows/syswow64/voxamf.dll" ] && prefix_run unregister regsvr32 /u /s 'C:\windows\syswow64\voxamf.dll'
  else
    [ -f "$windows/system32/voxamf.dll" ] && prefix_run unregister regsvr32 /u /s 'C:\windows\system32\voxamf.dll'
  fi
  for folder in system32 syswow64; do rm -f "$windows/$folder/voxa.dll" "$windows/$folder/voxamf.dll"; done
  for view in "${views[@]}"; do
    local flag=()
    [ -n "$view" ] && flag=("/reg:$view")
    prefix_run reg-delete reg delete "$drivers32" /v vidc.VOXA /f "${flag[@]}"
    prefix_run reg-delete reg delete "$descriptions" /v voxa.dll /f "${flag[@]}"
  done
}

# all_or_nothing KIND (wow64 or win32), with nothing installed: install.cmd
# and uninstall.cmd run by the cmd.exe of Windows' own bitness.
all_or_nothing() {
  local kind=$1 run=prefix_run views=("") folders=(system32) view
  [ "$kind" = wow64 ] && { run=prefix_run64; views=(64 32); folders=(system32 syswow64); }
  local blocker=$WINEPREFIX/drive_c/windows/${folders[-1]}/voxa.dll
  note "$kind: install.cmd with a folder in the way of the last DLL"
  mkdir "$blocker"
  $run blocked-install cmd /c "$pkg_win\\install.cmd" /nopause
  rmdir "$blocker"
  expect_script install.cmd 1 '^install: the codec is NOT installed$'
  "uninstalled_$kind"

  note "$kind: install.cmd with a 32-bit decoder that does not register"
  rm -rf "$broken" && cp -r "$pkg" "$broken"
  head -c 4096 "$pkg/voxamf32.dll" >"$broken/voxamf32.dll"
  $run unregistrable-install cmd /c "$broken_win\\install.cmd" /nopause
  expect_script install.cmd 1 '^install: FAILED: regsvr32 cannot register .*voxamf.dll'
  "uninstalled_$kind"

  note "$kind: an upgrade whose INF registers another DLL name: the codec installed before stays"
  $run cmd-install cmd /c "$pkg_win\\install.cmd" /nopause
  rm -rf "$broken" && cp -r "$pkg" "$broken"
  printf 'newer' | tee -a "$broken/voxa32.dll" "$broken/voxamf32.dll" "$broken/voxamf64.dll" >>"$broken/voxa64.dll"
  sed -i 's/"vidc.VOXA", 0x00000000, "voxa.dll"/"vidc.VOXA", 0x00000000, "wrong.dll"/' "$broken/voxa.inf"
  $run newer-install cmd /c "$broken_win\\install.cmd" /nopause
  expect_script install.cmd 1 '^install: undone: everything is as it was before install.cmd ran$'
  "installed_$kind"
  $run cmd-uninstall cmd /c "$pkg_win\\uninstall.cmd" /nopause
  expect_script uninstall.cmd 0 '^uninstall: done'
  "uninstalled_$kind"

  note "$kind: another codec's vidc.VOXA: kept by uninstall.cmd, refused, replaced with /force, put back by uninstall.cmd"
  $run cmd-install cmd /c "$pkg_win\\install.cmd" /nopause
  for view in "${views[@]}"; do
    prefix_run claim reg add "$drivers32" /v vidc.VOXA /d other.dll /f ${view:+/reg:$view}
    prefix_run claim reg add "$descriptions" /v other.dll /d "Other test codec" /f ${view:+/reg:$view}
  done
  $run claimed-uninstall cmd /c "$pkg_win\\uninstall.cmd" /nopause
  expect_script uninstall.cmd 0 '^uninstall: done'
  for view in "${views[@]}"; do expect_taken "$view"; done
  $run taken-install cmd /c "$pkg_win\\install.cmd" /nopause
  expect_script install.cmd 4 '^install: FAILED: another codec holds the FourCC VOXA in the (32|64)-bit registry: vidc.VOXA = other.dll \("Other test codec"\)$'
  for view in "${views[@]}"; do expect_taken "$view"; done
  for view in "${folders[@]}"; do expect_no_file "$view/voxa.dll"; done
  mkdir "$blocker"
  $run blocked-forced-install cmd /c "$pkg_win\\install.cmd" /force /nopause
  rmdir "$blocker"
  expect_script install.cmd 1 '^install: the codec is NOT installed$'
  for view in "${views[@]}"; do expect_taken "$view"; done
  $run forced-install cmd /c "$pkg_win\\install.cmd" /force /nopause
  expect_script install.cmd 0 '^install: done'
  "installed_$kind"
  $run forced-uninstall cmd /c "$pkg_win\\uninstall.cmd" /nopause
  expect_script uninstall.cmd 0 '^uninstall: done'
  for view in "${views[@]}"; do expect_taken "$view"; done
  for view in "${folders[@]}"; do expect_no_file "$view/voxa.dll"; done
  reset_prefix "${views[@]}"
}

start=$SECONDS

# ---- 64-bit Windows ---------------------------------------------------------------

export WINEPREFIX=$root/build/win64/install-prefix
note "64-bit Windows: prefix $WINEPREFIX"
prefix_run start cmd /c exit || true
[ "$status" -eq 0 ] || die "cannot start Wine in $WINEPREFIX: $output"
reset_prefix 64 32

note "64-bit: nothing installed yet"
uninstalled_wow64

note "64-bit: 64-bit rundll32 setupapi.dll,InstallHinfSection DefaultInstall 132 voxa.inf"
# Unquoted, as typed at a prompt: Wine joins the words with single spaces.
# shellcheck disable=SC2086
prefix_run64 inf-install rundll32 setupapi.dll,InstallHinfSection DefaultInstall 132 $pkg_win\\voxa.inf
[ "$status" -eq 0 ] || fail "rundll32 exited with $status: $output"
installed_wow64 inf

note "64-bit: 64-bit rundll32 ... DefaultUninstall 132 voxa.inf"
# shellcheck disable=SC2086
prefix_run64 inf-uninstall rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 132 $pkg_win\\voxa.inf
[ "$status" -eq 0 ] || fail "rundll32 exited with $status: $output"
uninstalled_wow64

# A 32-bit process runs the INF's x86 sections: System32 is SysWOW64 for it,
# its registry is the 32-bit view.
note "64-bit: 32-bit rundll32 ... DefaultInstall 132 voxa.inf (installs for 32-bit programs only)"
# shellcheck disable=SC2086
prefix_run inf32-install rundll32 setupapi.dll,InstallHinfSection DefaultInstall 132 $pkg_win\\voxa.inf
[ "$status" -eq 0 ] || fail "rundll32 exited with $status: $output"
expect_no_file system32/voxa.dll
expect_dll syswow64/voxa.dll voxa32.dll
expect_unregistered 64
expect_registered 32
expect_probe 64 1
expect_probe 32 0
note "64-bit: 32-bit rundll32 ... DefaultUninstall 132 voxa.inf"
# shellcheck disable=SC2086
prefix_run inf32-uninstall rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 132 $pkg_win\\voxa.inf
[ "$status" -eq 0 ] || fail "rundll32 exited with $status: $output"
uninstalled_wow64

note "64-bit: install.cmd from a 32-bit cmd.exe"
prefix_run cmd32-install cmd /c "$pkg_win\\install.cmd" /nopause
expect_script install.cmd 0 '^install: 64-bit Windows \(32-bit command prompt'
expect_script install.cmd 0 '^install: done'
installed_wow64
note "64-bit: uninstall.cmd from a 32-bit cmd.exe"
prefix_run cmd32-uninstall cmd /c "$pkg_win\\uninstall.cmd" /nopause
expect_script uninstall.cmd 0 '^uninstall: done'
uninstalled_wow64

note "64-bit: install.cmd from a 64-bit cmd.exe"
prefix_run64 cmd64-install cmd /c "$pkg_win\\install.cmd" /nopause
expect_script install.cmd 0 '^install: 64-bit Windows$'
expect_script install.cmd 0 '^install: done'
installed_wow64
note "64-bit: uninstall.cmd from a 64-bit cmd.exe"
prefix_run64 cmd64-uninstall cmd /c "$pkg_win\\uninstall.cmd" /nopause
expect_script uninstall.cmd 0 '^uninstall: done'
uninstalled_wow64

# The scripts must notice a faulty result: a package whose INF forgets the
# 32-bit registry view, then one whose INF leaves the DLLs behind.
broken="$work/broken package"
rm -rf "$broken"
cp -r "$pkg" "$broken"
broken_win=$(winpath "$broken")
note "64-bit: the scripts' checks, with an INF that does not register the 32-bit codec"
sed -i 's/^AddReg = Voxa.Reg, Voxa.Reg.Wow64/AddReg = Voxa.Reg/' "$broken/voxa.inf"
prefix_run64 broken-install cmd /c "$broken_win\\install.cmd" /nopause
expect_script install.cmd 1 'FAILED: Drivers32 value vidc.VOXA is "", not voxa.dll, in the 32-bit registry'
expect_probe 32 1
uninstalled_wow64
cp "$pkg/voxa.inf" "$broken/voxa.inf"
note "64-bit: the scripts' checks, with an INF that does not delete the files"
prefix_run64 fixed-install cmd /c "$broken_win\\install.cmd" /nopause
expect_script install.cmd 0 '^install: done'
sed -i 's/^DelFiles = Voxa.Files.Native64, Voxa.Files.Wow64/DelFiles = Voxa.Files.Native64/' "$broken/voxa.inf"
prefix_run64 broken-uninstall cmd /c "$broken_win\\uninstall.cmd" /nopause
expect_script uninstall.cmd 1 'FAILED: .*SysWOW64.voxa.dll is still there'
reset_prefix 64 32
uninstalled_wow64

all_or_nothing wow64

# ---- 32-bit Windows ---------------------------------------------------------------

export WINEPREFIX=$root/build/win32/install-prefix
note "32-bit Windows: prefix $WINEPREFIX"
WINEARCH=win32 prefix_run start cmd /c exit
[ "$status" -eq 0 ] || die "cannot start Wine in $WINEPREFIX: $output"
[ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || die "$WINEPREFIX is not a 32-bit prefix"
reset_prefix ""

note "32-bit: nothing installed yet"
uninstalled_win32

note "32-bit: rundll32 setupapi.dll,InstallHinfSection DefaultInstall 132 voxa.inf"
# shellcheck disable=SC2086
prefix_run inf-install rundll32 setupapi.dll,InstallHinfSection DefaultInstall 132 $pkg_win\\voxa.inf
[ "$status" -eq 0 ] || fail "rundll32 exited with $status: $output"
installed_win32 inf
note "32-bit: rundll32 ... DefaultUninstall 132 voxa.inf"
# shellcheck disable=SC2086
prefix_run inf-uninstall rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 132 $pkg_win\\voxa.inf
[ "$status" -eq 0 ] || fail "rundll32 exited with $status: $output"
uninstalled_win32

note "32-bit: install.cmd"
prefix_run cmd-install cmd /c "$pkg_win\\install.cmd" /nopause
expect_script install.cmd 0 '^install: 32-bit Windows$'
expect_script install.cmd 0 '^install: done'
installed_win32
note "32-bit: uninstall.cmd"
prefix_run cmd-uninstall cmd /c "$pkg_win\\uninstall.cmd" /nopause
expect_script uninstall.cmd 0 '^uninstall: done'
uninstalled_win32

all_or_nothing win32

# ---- end ------------------------------------------------------------------------

for prefix in "$root/build/win64/install-prefix" "$root/build/win32/install-prefix"; do
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
done
echo
note "took $((SECONDS - start)) s after the build"
finish
