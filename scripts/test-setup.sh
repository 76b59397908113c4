#!/bin/bash
# Runs the setup program voxa-<version>-setup.exe (scripts/package.sh) and
# its uninstaller under Wine, silently, in a fresh 64-bit (wow64) prefix,
# build/win64/setup-prefix, and a fresh 32-bit one, build/win32/setup-prefix,
# and checks after each step what a program and an administrator see.
#
#   scripts/test-setup.sh [win64] [win32]     (default: both prefixes)
#
# Needs the win32 and win64 presets configured (scripts/test-all.sh does
# that); builds voxa_dll, voxa_mft_dll, icopen_probe and
# voxa_media_foundation_tests in both
# and the packages with scripts/package.sh --no-build. Besides the real setup
# program it builds a "newer" one from the same script: the next major
# version, its DLLs the real ones with a few bytes appended (they still load,
# and differ), so that the checks see which version's files are in place;
# and a "broken" one, the newer version whose 32-bit Media Foundation decoder
# is cut short, so that regsvr32 cannot register it.
#
# Each step is a row of the table below: what is run, the exit status and a
# line it must print, and the state the prefix must then be in. The states:
#   none      no voxa.dll or voxamf.dll, no vidc.VOXA or drivers.desc value
#             in any view, no installed-programs entry, no Program
#             Files\voxa; the probes of both bitnesses fail to open the
#             codec, MFTEnumEx finds no decoder, and Media Foundation's
#             registry and the decoder's class key are as in the fresh prefix
#   current   the real DLLs (byte for byte) in System32 (and SysWOW64), the
#   newer     values in each view, the entry (name, version, publisher, size,
#             uninstaller) in the native view only; icopen_probe --code
#             codes a frame from 32- and 64-bit programs, and MFTEnumEx
#             finds the decoder in both, which decodes a clip through the
#             Media Session
#   replacing the old voxa.dll still in place (a host holds it), the newer
#             one beside it, the renames scheduled for the restart; the
#             newer voxamf.dll in place (no host holds it) and registered
#   removing  values, entry, folder and decoder gone (as none), voxa.dll
#             still there (held), its removal scheduled for the restart
#   taken     as none, but vidc.VOXA = other.dll (another codec's) in every view
# In every state another codec's values (vidc.ABCD, put there first) are
# untouched. "-": not checked.
#
# Ends with "setup-test: N passed, M failed"; exit status 0 when all passed.
set -uo pipefail

source "$(dirname "$0")/test-steps.sh" setup-test

# ---- the builds and the setup programs ---------------------------------------------

build_presets "voxa_dll voxa_mft_dll icopen_probe voxa_media_foundation_tests" win32 win64
probe32=$root/build/win32/tests/icopen_probe.exe
probe64=$root/build/win64/tests/icopen_probe.exe

package_log=$(scripts/package.sh --no-build) || { echo "$package_log"; die "scripts/package.sh"; }
setup=$(printf '%s\n' "$package_log" | sed -n 's/^package: setup program //p')
[ -f "$setup" ] || die "scripts/package.sh named no setup program"
current=$(basename "$setup" | sed -n 's/^voxa-\([0-9.]*\)-setup\.exe$/\1/p')
[ -n "$current" ] || die "no version in the name $setup"
newer="$((${current%%.*} + 1)).0.0"

work=$root/build/setup-test
mkdir -p "$work"
exec 8>"$work/.lock"
flock 8 || die "cannot lock $work"

# The newer version: same script, same defines but the version and DLLs
# (VERSIONBITS.dll: voxa.dll, VERSIONmfBITS.dll: voxamf.dll).
for bits in 32 64; do
  for name in "" mf; do
    dll=$root/build/win$bits/driver/voxa.dll
    [ -n "$name" ] && dll=$root/build/win$bits/mf/voxamf.dll
    cp "$dll" "$work/newer$name$bits.dll"
    printf 'voxa %s test build\0\0\0\0' "$newer" >>"$work/newer$name$bits.dll"
    cp "$dll" "$work/current$name$bits.dll"
  done
done
head -c 4096 "$work/newermf32.dll" >"$work/brokenmf32.dll"
for kind in newer broken; do
  makensis -WX -V2 -NOCD -DVOXA_SETUP_DEFINES="$root/build/package/voxa-setup-defines.nsh" \
    -DVOXA_VERSION="$newer" -DVOXA_DLL32="$work/newer32.dll" -DVOXA_DLL64="$work/newer64.dll" \
    -DVOXA_MFT32="$work/${kind}mf32.dll" -DVOXA_MFT64="$work/newermf64.dll" \
    -DVOXA_OUTFILE="$work/voxa-$newer-$kind-setup.exe" packaging/voxa-setup.nsi >"$work/makensis.log" 2>&1 ||
    { cat "$work/makensis.log"; die "makensis of the $kind test version"; }
done
note "setup programs: $setup ($current), $work/voxa-$newer-newer-setup.exe ($newer), $work/voxa-$newer-broken-setup.exe"

# Texts the entry must carry, from the same place the setup program took them.
defines=$root/build/package/voxa-setup-defines.nsh
define() { sed -n "/!ifndef $1\$/{n;s/^ *!define $1 \"\\(.*\\)\"\$/\\1/p}" "$defines"; }
product=$(define VOXA_PRODUCT)
publisher=$(define VOXA_PUBLISHER)
description=$(define VOXA_DESCRIPTION)
if [ -z "$product" ] || [ -z "$publisher" ] || [ -z "$description" ]; then
  die "cannot read the texts from $defines"
fi

# ---- the program itself ----------------------------------------------------------

# The manifest asks Windows for administrator rights (UAC asks the user).
if grep -aq 'level="requireAdministrator"' "$setup"; then
  pass "the manifest of $(basename "$setup") asks for administrator rights"
else
  fail "the manifest of $(basename "$setup") does not ask for administrator rights (requireAdministrator)"
fi

# ---- running Wine ---------------------------------------------------------------

# run_line NAME LINE: runs a Windows command line exactly as written (Wine
# would quote an argument with spaces, and the uninstaller's _?= must not
# be quoted) from a batch file, which also reports the full exit status
# (Wine's own is cut to 8 bits: 3010 would read 194). Sets $status (-1 when
# no status was printed) and $output (without the status line).
run_line() {
  local name=$1 line=$2
  printf '@echo off\r\n%s\r\necho setup-test-status: %%errorlevel%%\r\n' "$line" >"$downloads/$name.cmd"
  prefix_run "$name" cmd /c "$downloads_win\\$name.cmd"
  status=$(printf '%s\n' "$output" | sed -n 's/^setup-test-status: \([0-9-]*\)$/\1/p' | tail -n 1)
  status=${status:--1}
  output=$(printf '%s\n' "$output" | grep -v '^setup-test-status: ')
}

# reg_dump VIEW KEY: the key's values as reg prints them ("" when absent);
# VIEW is 32 or 64, or "" for the only view of a 32-bit prefix.
reg_dump() {
  local view=()
  [ -n "$1" ] && view=("/reg:$1")
  prefix_run reg-query reg query "$2" "${view[@]}"
  [ "$status" -eq 0 ] && printf '%s\n' "$output"
}
# reg_get DUMP NAME: the data of value NAME in a dump.
reg_get() {
  printf '%s\n' "$1" | awk -v name="$2" '$1 == name && $2 ~ /^REG_/ {
    sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]*/, ""); print; exit }'
}

decoder_class='HKLM\Software\Classes\CLSID\{1B2A84A1-75B1-45B1-A68E-8DA858EBD088}'
drivers32='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32'
descriptions='HKLM\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\voxa'
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'

# ---- the states -----------------------------------------------------------------

# The prefix's folders and views: "FOLDER VIEW BITS" for each codec.
codecs() {
  if [ "$kind" = wow64 ]; then
    echo "system32 64 64"
    echo "syswow64 32 32"
  else
    echo "system32 '' 32"
  fi
}

# The values of each view: the codec's as wanted (registered, unregistered,
# or taken by another codec, with nothing of the codec's kept for it), and
# the other codec's always.
expect_values() {
  local want=$1 folder view bits d32 desc
  while read -r folder view bits; do
    view=${view//\'/}
    d32=$(reg_dump "$view" "$drivers32")
    desc=$(reg_dump "$view" "$descriptions")
    local value data abcd abcd_desc wanted="" wanted_data=""
    value=$(reg_get "$d32" vidc.VOXA)
    data=$(reg_get "$desc" voxa.dll)
    abcd=$(reg_get "$d32" vidc.ABCD)
    abcd_desc=$(reg_get "$desc" abcd.dll)
    [ "$want" = registered ] && { wanted=voxa.dll; wanted_data=$description; }
    [ "$want" = taken ] && wanted=other.dll
    if [ "$value" = "$wanted" ] && [ "$data" = "$wanted_data" ]; then
      pass "$bits-bit registry: vidc.VOXA = '$value', drivers.desc voxa.dll = '$data'"
    else
      fail "$bits-bit registry: vidc.VOXA = '$value', drivers.desc voxa.dll = '$data' (wanted '$wanted', '$wanted_data')"
    fi
    [ "$want" = registered ] || ! reg_dump "$view" 'HKLM\Software\voxa' >/dev/null ||
      fail "$bits-bit registry: HKLM\Software\voxa is left"
    if [ "$abcd" = abcd.dll ] && [ "$abcd_desc" = "ABCD test codec" ]; then
      pass "$bits-bit registry: the other codec's vidc.ABCD and its description untouched"
    else
      fail "$bits-bit registry: the other codec's values changed: vidc.ABCD = '$abcd', drivers.desc abcd.dll = '$abcd_desc'"
    fi
  done < <(codecs)
}

# expect_dlls VERSION [DECODER-VERSION]: voxa.dll (and voxamf.dll) in each
# folder is that version's DLL of its bitness, byte for byte ("none": no
# such DLL). The decoder's version is the codec's unless given.
expect_dlls() {
  local folder view bits file name version
  while read -r folder view bits; do
    for name in "" mf; do
      version=$1
      [ -n "$name" ] && version=${2:-$1}
      file=$WINEPREFIX/drive_c/windows/$folder/voxa$name.dll
      if [ "$version" = none ]; then
        if [ -e "$file" ]; then fail "windows/$folder/voxa$name.dll is still there"; else pass "no windows/$folder/voxa$name.dll"; fi
      elif [ "$version" != current ] && [ "$version" != newer ]; then
        die "expect_dlls $version"
      elif cmp -s "$file" "$work/$version$name$bits.dll"; then
        pass "windows/$folder/voxa$name.dll is the $version version's $bits-bit DLL"
      else
        fail "windows/$folder/voxa$name.dll is not the $version version's $bits-bit DLL ($(ls -l "$file" 2>&1))"
      fi
    done
  done < <(codecs)
}

# Media Foundation's registry and the decoder's class key in a view, as reg
# shows them.
mf_registry() {
  local view=()
  [ -n "$1" ] && view=("/reg:$1")
  prefix_run mf-registry reg query 'HKLM\Software\Classes\MediaFoundation' /s "${view[@]}"
  printf '%s\n' "$output"
  prefix_run mf-class reg query "$decoder_class" "${view[@]}"
  echo "class key: status $status"
}

# expect_decoders found|absent: the decoder for programs of each bitness;
# absent, Media Foundation's registry and the decoder's class key are as in
# the fresh prefix.
expect_decoders() {
  local folder view bits
  while read -r folder view bits; do
    view=${view//\'/}
    expect_decoder "$bits" "$1"
    [ "$1" = absent ] || continue
    if [ "$(mf_registry "$view")" = "$(cat "$work/mf-registry-$bits")" ]; then
      pass "$bits-bit registry: Media Foundation's keys and the decoder's class as before the first install"
    else
      fail "$bits-bit registry: Media Foundation's keys or the decoder's class differ from the fresh prefix's:"
      diff <(cat "$work/mf-registry-$bits") <(mf_registry "$view") | sed 's/^/    /'
    fi
  done < <(codecs)
}

# No new DLL left waiting beside an old one, no copy of an old one.
expect_no_new() {
  local folder view bits name
  while read -r folder view bits; do
    for name in voxa.dll.new voxa.dll.old voxamf.dll.new voxamf.dll.old; do
      if [ -e "$WINEPREFIX/drive_c/windows/$folder/$name" ]; then
        fail "windows/$folder/$name is there"
      else
        pass "no windows/$folder/$name"
      fi
    done
  done < <(codecs)
}

# expect_pending WHAT: PendingFileRenameOperations holds, for each folder,
# the rename of voxa.dll.new over voxa.dll (WHAT = replace) or the removal
# of voxa.dll (WHAT = remove); voxa.dll.new is the newer DLL (replace).
expect_pending() {
  local what=$1 folder view bits pending windir
  pending=$(reg_get "$(reg_dump "" "$session_manager")" PendingFileRenameOperations)
  while read -r folder view bits; do
    windir="\\??\\C:\\windows\\$folder"
    local wanted
    if [ "$what" = replace ]; then
      wanted="$windir\\voxa.dll.new\\0!$windir\\voxa.dll"
      if cmp -s "$WINEPREFIX/drive_c/windows/$folder/voxa.dll.new" "$work/newer$bits.dll"; then
        pass "windows/$folder/voxa.dll.new is the newer $bits-bit DLL, waiting for the restart"
      else
        fail "windows/$folder/voxa.dll.new is not the newer $bits-bit DLL"
      fi
    else
      wanted="$windir\\voxa.dll\\0\\0"
    fi
    # Compared without case: Windows writes the folder as it was named.
    if printf '%s\\0' "$pending" | grep -iqF -- "$wanted"; then
      pass "scheduled for the restart: $wanted"
    else
      fail "not scheduled for the restart: $wanted (PendingFileRenameOperations: '$pending')"
    fi
  done < <(codecs)
}

# expect_entry WHICH: the installed-programs entry of the current or newer
# version in the native view (and not in the 32-bit view of a 64-bit
# Windows), or none.
expect_entry() {
  local which=$1 version=$current native="" dump
  [ "$which" = newer ] && version=$newer
  [ "$kind" = wow64 ] && native=64
  dump=$(reg_dump "$native" "$uninstall_key")
  local folder="$WINEPREFIX/drive_c/Program Files/voxa"
  if [ "$which" = none ]; then
    if [ -z "$dump" ]; then pass "no installed-programs entry"; else fail "the installed-programs entry is still there"; fi
    if [ -e "$folder" ]; then fail "Program Files/voxa is still there: $(ls "$folder")"; else pass "no Program Files/voxa"; fi
    return
  fi
  local name ver pub size uninst quiet
  name=$(reg_get "$dump" DisplayName)
  ver=$(reg_get "$dump" DisplayVersion)
  pub=$(reg_get "$dump" Publisher)
  size=$(reg_get "$dump" EstimatedSize)
  uninst=$(reg_get "$dump" UninstallString)
  quiet=$(reg_get "$dump" QuietUninstallString)
  if [ "$name" = "$product" ] && [ "$ver" = "$version" ] && [ "$pub" = "$publisher" ]; then
    pass "installed programs: \"$name\" $ver by $pub"
  else
    fail "installed programs: name '$name', version '$ver' (wanted $version), publisher '$pub'"
  fi
  if [ "$uninst" = '"C:\Program Files\voxa\uninstall.exe"' ] && [ "$quiet" = "$uninst /S" ] &&
     [ -f "$folder/uninstall.exe" ]; then
    pass "installed programs: uninstaller $uninst (quietly: $quiet)"
  else
    fail "installed programs: UninstallString '$uninst', QuietUninstallString '$quiet', Program Files/voxa: $(ls "$folder" 2>&1)"
  fi
  # Kilobytes, rounded up, of everything the setup program wrote (its DLLs
  # also while they wait for the restart).
  local bytes=0 f
  for f in "$folder/uninstall.exe" "$folder/LICENSE.txt" "$work/${which}32.dll" "$work/${which}mf32.dll"; do
    bytes=$((bytes + $(stat -c %s "$f")))
  done
  [ "$kind" = wow64 ] && bytes=$((bytes + $(stat -c %s "$work/${which}64.dll") + $(stat -c %s "$work/${which}mf64.dll")))
  if [ "$size" = "$(printf '0x%x' $(((bytes + 1023) / 1024)))" ]; then
    pass "installed programs: size $((size)) KB"
  else
    fail "installed programs: EstimatedSize '$size', wanted $(((bytes + 1023) / 1024)) KB"
  fi
  if [ "$kind" = wow64 ]; then
    if [ -z "$(reg_dump 32 "$uninstall_key")" ]; then
      pass "installed programs: no second entry in the 32-bit view"
    else
      fail "installed programs: an entry in the 32-bit view too"
    fi
  fi
}

# expect_probes STATUS [--code]: icopen_probe of each bitness exits with STATUS.
expect_probes() {
  local want=$1
  shift
  prefix_run probe32 "$probe32" "$@"
  if [ "$status" -eq "$want" ]; then pass "$(printf '%s' "$output" | tail -n 1)"; else
    fail "32-bit program: icopen_probe $* exited with $status, not $want: $output"; fi
  if [ "$kind" = wow64 ]; then
    prefix_run64 probe64 "$probe64" "$@"
    if [ "$status" -eq "$want" ]; then pass "$(printf '%s' "$output" | tail -n 1)"; else
      fail "64-bit program: icopen_probe $* exited with $status, not $want: $output"; fi
  fi
}

expect_state() {
  case "$1" in
    none | taken)
      expect_dlls none; expect_no_new; expect_values "${1/none/unregistered}"; expect_entry none; expect_probes 1
      expect_decoders absent ;;
    current | newer)
      expect_dlls "$1"; expect_no_new; expect_values registered; expect_entry "$1"; expect_probes 0 --code
      expect_decoders found ;;
    replacing)
      expect_dlls current newer; expect_pending replace; expect_values registered; expect_entry newer
      expect_decoders found ;;
    removing)
      expect_dlls current none; expect_no_new; expect_pending remove; expect_values unregistered; expect_entry none
      expect_decoders absent ;;
    -) ;;
    *) die "unknown state $1" ;;
  esac
}

# ---- the actions ----------------------------------------------------------------

# Hosts that keep the codec loaded: icopen_probe --hold of each bitness.
hold_pids=()
hold_start() {
  local bits marker
  for bits in 32 64; do
    [ "$bits" = 64 ] && [ "$kind" != wow64 ] && continue
    marker="$WINEPREFIX/drive_c/voxa-hold-$bits"
    rm -f "$marker"
    # Without the lock's descriptor: a host left behind must not hold it.
    if [ "$bits" = 32 ]; then
      "$root/cmake/wine-run.sh" "$WINEPREFIX" "$probe32" --hold "C:\\voxa-hold-32" \
        </dev/null >"$work/hold32.log" 2>&1 8>&- &
    else
      find_wine64
      WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" setarch "$(uname -m)" -R "$wine64" "$probe64" \
        --hold "C:\\voxa-hold-64" </dev/null >"$work/hold64.log" 2>&1 8>&- &
    fi
    local pid=$! waited=0
    hold_pids+=("$pid")
    while [ ! -e "$marker" ] && kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 600 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if [ -e "$marker" ]; then
      pass "a $bits-bit host holds the codec open"
    else
      fail "no $bits-bit host holds the codec open (within 60 s): $(tr -d '\r' <"$work/hold$bits.log")"
    fi
  done
}
hold_end() {
  rm -f "$WINEPREFIX/drive_c/voxa-hold-32" "$WINEPREFIX/drive_c/voxa-hold-64"
  local pid
  for pid in "${hold_pids[@]}"; do wait "$pid" || fail "a host that held the codec exited with $?"; done
  hold_pids=()
}
# Hosts still holding when the script ends early are let go.
trap '[ ${#hold_pids[@]} -eq 0 ] || rm -f "$WINEPREFIX/drive_c/voxa-hold-32" "$WINEPREFIX/drive_c/voxa-hold-64"' EXIT

# act ACTION: runs a row's action; sets $status and $output.
act() {
  local words
  read -r -a words <<<"$1"
  case "${words[0]}" in
    -) status=-; output= ;;
    setup)
      # setup VERSION ARGS...: the setup program of that version, from a
      # download folder whose name has a space.
      local exe="voxa-$current-setup.exe"
      [ "${words[1]}" = current ] || exe="voxa-$newer-${words[1]}-setup.exe"
      run_line setup "\"$downloads_win\\$exe\" ${words[*]:2}" ;;
    uninstall)
      # The uninstaller as a script would run it to learn its exit status:
      # a copy outside the folder it removes, told where that is (_?=), as
      # the uninstaller itself does when started from the list.
      cp "$WINEPREFIX/drive_c/Program Files/voxa/uninstall.exe" "$downloads/uninstall-copy.exe" ||
        { status=-1; output="no Program Files/voxa/uninstall.exe"; return; }
      run_line uninstall "\"$downloads_win\\uninstall-copy.exe\" ${words[*]:1} _?=C:\\Program Files\\voxa" ;;
    listed-uninstall)
      # The QuietUninstallString of the entry, as management tools run it:
      # it starts the uninstaller from a copy of its own and returns; wait
      # until every program of the prefix has ended.
      local native="" line
      [ "$kind" = wow64 ] && native=64
      line=$(reg_get "$(reg_dump "$native" "$uninstall_key")" QuietUninstallString)
      run_line listed-uninstall "$line"
      timeout 120 wineserver -w || { status=-1; output="Wine still running after 120 s"; } ;;
    claim)
      # Another codec registers itself as vidc.VOXA in every view.
      local folder view bits
      while read -r folder view bits; do
        view=${view//\'/}
        prefix_run claim reg add "$drivers32" /v vidc.VOXA /d other.dll /f ${view:+/reg:$view}
        prefix_run claim reg add "$descriptions" /v other.dll /d "Other test codec" /f ${view:+/reg:$view}
      done < <(codecs) ;;
    restart)
      # Wine's restart carries out the renames and removals scheduled for
      # it, before wineboot returns.
      prefix_run restart wineboot -r
      [ "$status" -eq 0 ] || { status=-1; output="wineboot -r exited with $status: $output"; } ;;
    *) die "unknown action $1" ;;
  esac
}

# ---- the table --------------------------------------------------------------------

# Step | action | exit status (- none) | a line the output must have (- none) | state after it.
# CUR and NEW in the line stand for the two versions. "held" before an
# action: 32- and 64-bit hosts hold the codec open while it runs; "blocked
# FOLDER/NAME": a folder at that name (in windows/FOLDER, or Program Files/voxa
# for voxa; a file there is moved aside meanwhile) keeps the setup program
# from writing it. syswow64 is system32 in a 32-bit prefix.
steps=(
  "nothing installed yet                 | -                            | -    | -                                                           | none"
  "install that cannot write the DLL     | blocked system32/voxa.dll.new setup current /S | 1 | ^install: the codec is NOT installed$         | none"
  "install that cannot write the 32-bit DLL | blocked syswow64/voxa.dll.new setup current /S | 1 | ^install: the codec is NOT installed$      | none"
  "install that cannot put the DLL in place | blocked system32/voxa.dll setup current /S | 1 | ^install: the codec is NOT installed$          | none"
  "install that cannot put the 32-bit DLL in place | blocked syswow64/voxa.dll setup current /S | 1 | ^install: the codec is NOT installed$  | none"
  "install whose 32-bit decoder does not register | setup broken /S | 1 | ^install: FAILED: regsvr32 cannot register .*voxamf.dll, the Media Foundation decoder | none"
  "fresh install                         | setup current /S             | 0    | ^install: done: programs started from now on find the VOXA codec | current"
  "the same version again                | setup current /S             | 0    | ^install: done:                                             | current"
  "upgrade in place                      | setup newer /S               | 0    | ^install: upgrading version CUR to NEW$                     | newer"
  "older over newer, silently: refused   | setup current /S             | 3    | ^install: FAILED: version NEW is installed, newer than this setup's CUR | newer"
  "older over newer with /ALLOWDOWNGRADE | setup current /S /ALLOWDOWNGRADE | 0 | ^install: replacing the newer version NEW with CUR         | current"
  "upgrade while hosts hold the codec    | held setup newer /S          | 3010 | in use by a program: the new one replaces it when Windows restarts | replacing"
  "restart                               | restart                      | -    | -                                                           | newer"
  "uninstall                             | uninstall /S                 | 0    | ^uninstall: done: the VOXA codec is no longer installed$    | none"
  "install again                         | setup current /S             | 0    | ^install: done:                                             | current"
  "uninstall while hosts hold the codec  | held uninstall /S            | 3010 | ^uninstall: done: .*in use and is removed when Windows restarts | removing"
  "restart                               | restart                      | -    | -                                                           | none"
  "install again                         | setup current /S             | 0    | ^install: done:                                             | current"
  "upgrade that cannot write the 32-bit DLL | blocked syswow64/voxa.dll.new setup newer /S | 1 | ^install: undone: version CUR is installed as it was$ | current"
  "upgrade whose 32-bit decoder does not register | setup broken /S | 1 | ^install: undone: version CUR is installed as it was$ | current"
  "upgrade that fails after the DLLs are in place | blocked voxa/LICENSE.txt setup newer /S | 1 | ^install: undone: version CUR is installed as it was$ | current"
  "failed upgrade while hosts hold the codec | held blocked voxa/LICENSE.txt setup newer /S | 1 | ^install: undone: version CUR is installed as it was$ | current"
  "restart: nothing of it left to rename | restart                      | -    | -                                                           | current"
  "uninstall from the installed-programs entry (QuietUninstallString) | listed-uninstall | - | - | none"
  "install again                         | setup current /S             | 0    | ^install: done:                                             | current"
  "another codec registers as vidc.VOXA  | claim                        | -    | -                                                           | -"
  "uninstall: the other codec's value stays | uninstall /S              | 0    | ^uninstall: done: the VOXA codec is no longer installed$    | taken"
  "install over it, silently: refused    | setup current /S             | 4    | ^install: FAILED: another codec holds the FourCC VOXA in the .*vidc.VOXA = other.dll \(\"Other test codec\"\) | taken"
  "a /FORCE install that cannot put the 32-bit DLL in place | blocked syswow64/voxa.dll setup current /S /FORCE | 1 | ^install: the codec is NOT installed$ | taken"
  "install over it with /FORCE           | setup current /S /FORCE      | 0    | ^install: done:                                             | current"
  "the same version again                | setup current /S             | 0    | ^install: done:                                             | current"
  "uninstall: the other codec's value is back | uninstall /S            | 0    | ^uninstall: done: the VOXA codec is no longer installed$    | taken"
)

trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; s=${s%"${s##*[![:space:]]}"}; printf '%s' "$s"; }

# A fresh prefix of KIND (wow64 or win32) at PATH, the setup programs in its
# download folder, and another codec's values in each registry view.
fresh_prefix() {
  kind=$1
  export WINEPREFIX=$2
  WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null
  rm -rf "$WINEPREFIX"
  local arch=win64
  [ "$kind" = win32 ] && arch=win32
  WINEARCH=$arch prefix_run start cmd /c exit
  [ "$status" -eq 0 ] || die "cannot make a Wine prefix in $WINEPREFIX: $output"
  if [ "$kind" = win32 ]; then
    [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || die "$WINEPREFIX is not a 32-bit prefix"
  else
    [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || die "$WINEPREFIX is not a 64-bit prefix"
  fi
  downloads="$WINEPREFIX/drive_c/users/Public/Downloads/voxa setup"
  downloads_win='C:\users\Public\Downloads\voxa setup'
  mkdir -p "$downloads"
  cp "$setup" "$work/voxa-$newer-newer-setup.exe" "$work/voxa-$newer-broken-setup.exe" "$downloads/"
  local folder view bits flag
  while read -r folder view bits; do
    view=${view//\'/}
    flag=()
    [ -n "$view" ] && flag=("/reg:$view")
    prefix_run reg-add reg add "$drivers32" /v vidc.ABCD /d abcd.dll /f "${flag[@]}"
    [ "$status" -eq 0 ] || die "reg add vidc.ABCD: $output"
    prefix_run reg-add reg add "$descriptions" /v abcd.dll /d "ABCD test codec" /f "${flag[@]}"
    [ "$status" -eq 0 ] || die "reg add drivers.desc abcd.dll: $output"
    mf_registry "$view" >"$work/mf-registry-$bits"
  done < <(codecs)
}

run_steps() {
  local row name action want_status want_line state held
  for row in "${steps[@]}"; do
    IFS='|' read -r name action want_status want_line state <<<"$row"
    name=$(trim "$name"); action=$(trim "$action"); want_status=$(trim "$want_status")
    want_line=$(trim "$want_line"); state=$(trim "$state")
    want_line=${want_line//CUR/$current}
    want_line=${want_line//NEW/$newer}
    note "$kind: $name ($action)"
    held=0
    if [[ $action == held\ * ]]; then
      held=1
      action=${action#held }
      hold_start
    fi
    if [[ $action == blocked\ * ]]; then
      local blocker=${action#blocked }
      action=${blocker#* }
      blocker=${blocker%% *}
      [ "$kind" = win32 ] && blocker=${blocker/#syswow64/system32}
      blocker=$WINEPREFIX/drive_c/windows/$blocker
      blocker=${blocker/windows\/voxa/Program Files\/voxa}
      [ -f "$blocker" ] && mv "$blocker" "$blocker.aside"
      mkdir "$blocker"
      act "$action"
      rmdir "$blocker"
      [ -f "$blocker.aside" ] && mv "$blocker.aside" "$blocker"
    else
      act "$action"
    fi
    if [ "$want_status" != - ]; then
      if [ "$status" = "$want_status" ] && { [ "$want_line" = - ] || printf '%s\n' "$output" | grep -Eq -- "$want_line"; }; then
        pass "exit status $status; said: $(printf '%s\n' "$output" | grep -E -- "${want_line/#-/.}" | head -n 1)"
      else
        fail "exit status $status (wanted $want_status, and a line matching '$want_line'); it said:"
        printf '%s\n' "$output" | sed 's/^/    /'
      fi
    fi
    [ "$status" != -1 ] || fail "$output"
    expect_state "$state"
    [ "$held" = 1 ] && hold_end
  done
}

start=$SECONDS
prefixes=("$@")
[ ${#prefixes[@]} -gt 0 ] || prefixes=(win64 win32)
for preset in "${prefixes[@]}"; do
  case "$preset" in
    win64) note "64-bit Windows: fresh prefix build/win64/setup-prefix"
           fresh_prefix wow64 "$root/build/win64/setup-prefix" ;;
    win32) note "32-bit Windows: fresh prefix build/win32/setup-prefix"
           fresh_prefix win32 "$root/build/win32/setup-prefix" ;;
    *) die "unknown prefix $preset (win64 or win32)" ;;
  esac
  run_steps
  wineserver -k 2>/dev/null
  # Made anew by every run: kept only to look into after a failure.
  [ "$failed" -eq 0 ] && rm -rf "$WINEPREFIX"
done
echo
note "took $((SECONDS - start)) s after the build"
finish
