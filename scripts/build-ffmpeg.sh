#!/bin/bash
# Builds FFmpeg with VOXA: Debian's FFmpeg source package (the version
# Debian 12 ships) and the patch series of ffmpeg/, which codes VOXA in
# libavcodec itself (no libvoxa), configured for only what the tests and the
# README's examples need. Installs ffmpeg and ffprobe under build/ffmpeg/bin
# and builds FFmpeg's checkasm (build/ffmpeg/work/tests/checkasm/checkasm);
# the build tree, build/ffmpeg/work, also runs the FATE tests.
#
#   scripts/build-ffmpeg.sh [--fuzzer]
#
# --fuzzer: instead, FFmpeg's decoder fuzzer for VOXA,
# build/ffmpeg-fuzz/work/tools/target_dec_voxa_fuzzer, built with clang,
# libFuzzer and AddressSanitizer in a minimal build of its own (libavcodec
# with the voxa decoder, and the mjpeg one that the fuzzer's source names).
#
# A second run with the same source, patches and script does nothing. As
# root it adds the source entries apt needs (deb-src) when they are missing,
# and installs the Debian packages the build needs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

die() { echo "build-ffmpeg: $*" >&2; exit 1; }

kind=ffmpeg
case "${1:-}" in
  "") ;;
  --fuzzer) kind=fuzzer ;;
  *) echo "usage: $0 [--fuzzer]" >&2; exit 2 ;;
esac

scripts/install-deps.sh native >/dev/null || die "the Debian packages are missing (scripts/install-deps.sh native)"
if [ "$kind" = fuzzer ]; then
  scripts/install-deps.sh fuzz >/dev/null || die "the Debian packages are missing (scripts/install-deps.sh fuzz)"
  out=build/ffmpeg-fuzz
else
  out=build/ffmpeg
fi

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

# The stamp names what the build is made of: source, patches, this script.
stamp="$(basename "$tarball") $(cat ffmpeg/*.patch "$0" | sha256sum | cut -c1-16)"
if [ "$kind" = fuzzer ]; then
  product=$out/work/tools/target_dec_voxa_fuzzer
else
  product=$out/bin/ffmpeg
fi
if [ -x "$product" ] && [ "$(cat "$out/stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "build-ffmpeg: up to date: $product ($stamp)"
  exit 0
fi

work=$out/work
rm -rf "$work" "$out/bin" && mkdir -p "$work"
tar -xf "$tarball" -C "$work" --strip-components=1
for patch in ffmpeg/*.patch; do
  patch -d "$work" -p1 --quiet <"$patch" || die "$patch does not apply to $(basename "$tarball")"
done

start=$SECONDS
if [ "$kind" = fuzzer ]; then
  (
    cd "$work"
    # configure adds coverage flags that clang 14's libFuzzer lacks unless
    # CFLAGS names a sanitizer; fuzzer-no-link instruments without main().
    # The fuzzer's source names AV_CODEC_ID_RTV1, which 5.1 does not have,
    # in a list of codecs other than this one.
    export CFLAGS="-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer"
    ./configure --cc=clang --cxx=clang++ --ld=clang++ --disable-everything --disable-autodetect \
      --disable-doc --disable-network --disable-programs --disable-avdevice --disable-avformat \
      --disable-avfilter --disable-swscale --disable-swresample \
      --enable-decoder=voxa,mjpeg --enable-ossfuzz \
      --libfuzzer="$(clang -print-file-name=libclang_rt.fuzzer-x86_64.a)" \
      --extra-cflags=-DAV_CODEC_ID_RTV1=0x7ffffff0 --extra-ldflags=-fsanitize=address \
      >configure.log 2>&1 || { tail -n 20 configure.log >&2; exit 1; }
    make -j 2 tools/target_dec_voxa_fuzzer >make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
  ) || die "building the fuzzer failed (see $work)"
  echo "$stamp" >"$out/stamp"
  echo "build-ffmpeg: built $product in $((SECONDS - start)) s"
  exit 0
fi

(
  cd "$work"
  # pcm_s16le's encoder and framecrc's muxer for FATE's framecrc tests.
  ./configure --prefix="$root/$out" --disable-everything --disable-autodetect \
    --disable-doc --disable-debug --disable-network --disable-ffplay --enable-zlib \
    --enable-decoder=voxa,png,prores,qtrle,rawvideo,ffv1 \
    --enable-encoder=voxa,png,prores_ks,qtrle,rawvideo,ffv1,wrapped_avframe,pcm_s16le \
    --enable-demuxer=avi,mov,matroska,image2,image_png_pipe,rawvideo \
    --enable-muxer=avi,mov,matroska,image2,rawvideo,framemd5,framecrc,md5,null \
    --enable-parser=png --enable-protocol=file,pipe --enable-indev=lavfi \
    --enable-filter=buffer,buffersink,abuffer,abuffersink,format,aformat,null,anull,scale,overlay,vflip,crop,color,testsrc2,trim,setpts,split,aresample \
    >configure.log 2>&1 || { tail -n 20 configure.log >&2; exit 1; }
  make -j 2 >make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
  make -j 2 checkasm >checkasm.log 2>&1 || { tail -n 30 checkasm.log >&2; exit 1; }
  make install >install.log 2>&1
) || die "building FFmpeg failed (see $work)"
echo "$stamp" >"$out/stamp"
echo "build-ffmpeg: built $("$out/bin/ffmpeg" -version | head -n 1) in $((SECONDS - start)) s: $out/bin"
