#!/bin/bash
# Installs the Debian 12 packages the build needs.
#
#   scripts/install-deps.sh [native|windows|fuzz|packages|all]     (default: all)
#
#   native   compilers and libraries for the Linux build (presets native, native-asan,
#            and native-i386 with the 32-bit multilib compilers),
#            FFmpeg's libraries for the tool's encode, decode and info verbs, and
#            ffmpeg/ffprobe for their tests, make and patch for scripts/build-ffmpeg.sh
#   windows  mingw-w64 cross compilers, Wine, Xvfb, ffprobe and ImageMagick
#            (presets win32, win64; ImageMagick for scripts/dialog-screenshots.sh),
#            NSIS (makensis, for the setup program of scripts/package.sh)
#   fuzz     clang with libFuzzer and the sanitizer runtimes, llvm-symbolizer
#            (preset fuzz, scripts/fuzz.sh)
#   packages what the Debian packages' build needs (debian/control's
#            Build-Depends, debhelper, dpkg-dev, fakeroot) and lintian
#            (scripts/build-packages.sh)
#   all      all four
#
# As root, missing packages are installed with apt-get. Otherwise the missing
# ones are listed with the command to install them, and the script fails.
set -euo pipefail

native_pkgs=(cmake ninja-build g++ g++-multilib make patch xz-utils zlib1g-dev nasm googletest libgtest-dev libbenchmark-dev pkg-config
             libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg)
windows_pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest
              wine wine64 wine32:i386 xvfb xauth ffmpeg imagemagick unzip nsis)

# clang's libFuzzer and sanitizer runtimes come in libclang-rt-dev, which
# clang only recommends; llvm brings llvm-symbolizer for readable stacks.
fuzz_pkgs=(cmake ninja-build clang libclang-rt-dev llvm)

package_pkgs=(debhelper dpkg-dev fakeroot lintian cmake ninja-build g++ pkg-config
              libavcodec-dev libavformat-dev libavutil-dev libswscale-dev)

case "${1:-all}" in
  native)  wanted=("${native_pkgs[@]}") ;;
  windows) wanted=("${windows_pkgs[@]}") ;;
  fuzz)    wanted=("${fuzz_pkgs[@]}") ;;
  packages) wanted=("${package_pkgs[@]}") ;;
  all)     wanted=("${native_pkgs[@]}" "${windows_pkgs[@]}" "${fuzz_pkgs[@]}" "${package_pkgs[@]}") ;;
  *) echo "usage: $0 [native|windows|fuzz|packages|all]" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
  if [ "${status:0:2}" != "ii" ]; then
    case " ${missing[*]:-} " in
      *" $pkg "*) ;;
      *) missing+=("$pkg") ;;
    esac
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present (${1:-all})"
  exit 0
fi

need_i386=0
for pkg in "${missing[@]}"; do
  case "$pkg" in *:i386) need_i386=1 ;; esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing Debian packages: ${missing[*]}" >&2
  echo "install-deps: install them as root with:" >&2
  if [ "$need_i386" = 1 ]; then
    echo "  dpkg --add-architecture i386 &&" >&2
  fi
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
if [ "$need_i386" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# With recommends: Wine's (fonts, X11 and GL libraries) are what lets it draw
# dialogs.
apt-get install -y -q "${missing[@]}"

# Check again: a package apt could not install must not pass silently.
still=()
for pkg in "${missing[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
  [ "${status:0:2}" = "ii" ] || still+=("$pkg")
done
if [ ${#still[@]} -ne 0 ]; then
  echo "install-deps: still missing after apt-get: ${still[*]}" >&2
  exit 1
fi
echo "install-deps: done"
