#!/bin/bash
# Builds FFmpeg with VOXA: Debian's FFmpeg source package (the version
# Debian 12 ships), the patch series of ffmpeg/, configured for only what
# the tests and the README's examples need, against the libvoxa of the native
# build (installed into build/libvoxa). Installs ffmpeg and ffprobe under
# build/ffmpeg/bin. A second run with the same source, patches and libvoxa
# does nothing.
#
#   scripts/build-ffmpeg.sh [--installed-libvoxa]
#
# --installed-libvoxa: against the libvoxa installed on the system (the one
# pkg-config finds, as the Debian package libvoxa-dev installs it), without
# building it; installs under build/ffmpeg-installed/bin instead, so that the
# default build stays as it is.
#
# As root it adds the source entries apt needs (deb-src) when they are
# missing, and installs the Debian packages the build needs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

die() { echo "build-ffmpeg: $*" >&2; exit 1; }

libvoxa=build
case "${1:-}" in
  "") ;;
  --installed-libvoxa) libvoxa=installed ;;
  *) echo "usage: $0 [--installed-libvoxa]" >&2; exit 2 ;;
esac

scripts/install-deps.sh native >/dev/null || die "the Debian packages are missing (scripts/install-deps.sh native)"
if [ "$libvoxa" = build ]; then
  out=build/ffmpeg
  cmake --preset native >/dev/null
  cmake --build --preset native -j 2 --target voxa_shared voxa_static voxa >/dev/null
  rm -rf build/libvoxa
  cmake --install build/native --prefix "$root/build/libvoxa" >/dev/null
  pc=$(find "$root/build/libvoxa" -name voxa.pc | head -n 1)
  export PKG_CONFIG_PATH=$(dirname "$pc")
  libdir=$(pkg-config --variable=libdir voxa)
  # The build tree's libvoxa is found where it lies.
  link_options=(--extra-ldflags="-Wl,-rpath,$libdir")
else
  out=build/ffmpeg-installed
  pkg-config --exists voxa || die "no libvoxa installed (pkg-config does not know voxa)"
  libdir=$(pkg-config --variable=libdir voxa)
  link_options=()
fi
[ -e "$libdir/libvoxa.so.1" ] || die "no libvoxa.so.1 in $libdir"

src=build/ffmpeg/source
mkdir -p "$src"
if ! ls "$src"/ffmpeg_*.orig.tar.xz >/dev/null 2>&1; then
  if ! apt-cache showsrc ffmpeg 2>/dev/null | grep -q '^Package: ffmpeg'; then
    [ "$(id -u)" -eq 0 ] || die "apt has no source entries (deb-src); run as root to add them"
    sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/voxa-deb-src.sources
    apt-get update -q >/dev/null
  fi
  (cd "$src" && apt-get source --download-only ffmpeg >/dev/null 2>&1) ||
    die "apt-get source ffmpeg failed"
fi
tarball=$(ls "$src"/ffmpeg_*.orig.tar.xz | sort -V | tail -n 1)

# The stamp names what the build is made of: source, patches, this script's
# configuration, libvoxa.
stamp="$(basename "$tarball") $(cat ffmpeg/*.patch "$0" | sha256sum | cut -c1-16) $(sha256sum "$libdir/libvoxa.so.1" | cut -c1-16)"
if [ -x "$out/bin/ffmpeg" ] && [ "$(cat "$out/stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "build-ffmpeg: up to date: $out/bin/ffmpeg ($stamp)"
  exit 0
fi

work=$out/work
rm -rf "$work" "$out/bin" && mkdir -p "$work"
tar -xf "$tarball" -C "$work" --strip-components=1
for patch in ffmpeg/*.patch; do
  patch -d "$work" -p1 --quiet <"$patch" || die "$patch does not apply to $(basename "$tarball")"
done

start=$SECONDS
(
  cd "$work"
  ./configure --prefix="$root/$out" --disable-everything --disable-autodetect \
    --disable-doc --disable-debug --disable-network --disable-ffplay \
    --enable-libvoxa --enable-zlib "${link_options[@]}" \
    --enable-decoder=libvoxa,png,prores,qtrle,rawvideo,ffv1 \
    --enable-encoder=libvoxa,png,prores_ks,qtrle,rawvideo,ffv1,wrapped_avframe \
    --enable-demuxer=avi,mov,matroska,image2,image_png_pipe,rawvideo \
    --enable-muxer=avi,mov,matroska,image2,rawvideo,framemd5,md5,null \
    --enable-parser=png --enable-protocol=file,pipe --enable-indev=lavfi \
    --enable-filter=buffer,buffersink,abuffer,abuffersink,format,aformat,null,anull,scale,overlay,vflip,crop,color,testsrc2,trim,setpts,split,aresample \
    >configure.log 2>&1 || { tail -n 20 configure.log >&2; exit 1; }
  make -j 2 >make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
  make install >install.log 2>&1
) || die "building FFmpeg failed (see $work)"
echo "$stamp" >"$out/stamp"
echo "build-ffmpeg: built $("$out/bin/ffmpeg" -version | head -n 1) with libvoxa of $libdir in $((SECONDS - start)) s: $out/bin"
