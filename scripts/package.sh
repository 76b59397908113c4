#!/bin/bash
# Builds the Windows release packages: the win32 and win64 presets, then,
# from packaging/, the ZIP made by CPack (both builds of voxa.dll and of
# voxamf.dll, voxa.inf, install.cmd, uninstall.cmd, readme.txt, LICENSE.txt)
# and the setup program made by makensis (packaging/voxa-setup.nsi, the same
# DLLs).
#
#   scripts/package.sh [--no-build]
#
# --no-build: package the DLLs already in build/win32 and build/win64.
# Writes build/package/voxa-<version>-windows.zip and
# build/package/voxa-<version>-setup.exe (each with a .sha256 beside it),
# prints the setup program's path on a line "package: setup program PATH"
# and the ZIP's path as its last line.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD

build=1
case "${1:-}" in
  "") ;;
  --no-build) build=0 ;;
  *) echo "usage: $0 [--no-build]" >&2; exit 2 ;;
esac

if [ "$build" = 1 ]; then
  for preset in win32 win64; do
    echo "package: building preset $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target voxa_dll voxa_mft_dll
  done
fi

out=build/package
rm -f "$out"/voxa-*-windows.zip "$out"/voxa-*-windows.zip.sha256 \
      "$out"/voxa-*-setup.exe "$out"/voxa-*-setup.exe.sha256
cmake -S packaging -B "$out" -DVOXA_WIN32_BUILD="$root/build/win32" \
      -DVOXA_WIN64_BUILD="$root/build/win64" >/dev/null
# The package target builds the setup program first (it is part of "all").
cmake --build "$out" --target package
zips=("$out"/voxa-*-windows.zip)
if [ ${#zips[@]} -ne 1 ] || [ ! -f "${zips[0]}" ]; then
  echo "package: FAILED: CPack made no voxa-*-windows.zip in $out" >&2
  exit 1
fi
setups=("$out"/voxa-*-setup.exe)
if [ ${#setups[@]} -ne 1 ] || [ ! -f "${setups[0]}" ]; then
  echo "package: FAILED: makensis made no voxa-*-setup.exe in $out" >&2
  exit 1
fi
echo "package: $(unzip -Z1 "${zips[0]}" | grep -vc '/$') files in ${zips[0]}"
echo "package: setup program ${setups[0]}"
echo "${zips[0]}"
