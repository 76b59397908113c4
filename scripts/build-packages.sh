#!/bin/bash
# Builds the Debian packages of libvoxa and the tool from debian/ (libvoxa1,
# libvoxa-dev, voxa-tools), lints them, installs them and checks them as a
# user of this system gets them, then removes them again:
#   - the build (dpkg-buildpackage -b, Release, two jobs) runs in a copy of
#     the source tree under build/packages, where the .deb files land; the
#     source tree is left as it was;
#   - lintian finds no error and no warning in the source package or in the
#     three binary packages (overrides are shown, with their reasons in
#     debian/*lintian-overrides);
#   - Build-Depends names the package of every system header and library
#     the build used (build-essential's aside);
#   - each package holds exactly its files; debian/copyright carries
#     LICENSE; the symbols file lists the functions voxa.h declares;
#   - installed: pkg-config gives -lvoxa and the project's version; the
#     README's C example and tests/api_test.c build against the installed
#     header and library (shared and static) and run; voxa --version names
#     the version, and the tool codes a clip, which FFmpeg's own decoder
#     (scripts/build-ffmpeg.sh) decodes to the tool's pictures; the manual
#     page covers every command of voxa --help;
#   - purged: no file of the packages is left (nor any named after the
#     project under /usr, /etc, /var or /opt), dpkg knows none of them,
#     pkg-config finds no voxa and the dynamic linker no libvoxa.
#
#   scripts/build-packages.sh
#
# Installing needs root (as CI runs it); otherwise the script stops after
# the checks of the packages' files. Packages of an earlier run that were left
# installed are purged first. Ends with "packages-test: N passed, M failed";
# exit status 0 when all passed.
set -uo pipefail
# shellcheck source=scripts/test-steps.sh
source "$(dirname "$0")/test-steps.sh" packages-test
# Outputs are searched whole (grep -q <<<"$(command)"): with pipefail, a
# grep -q that ends a pipe early would fail the command that writes into it.

packages=(libvoxa1 libvoxa-dev voxa-tools)
work=$root/build/packages
# The system's pkg-config files only, whatever the caller's environment.
unset PKG_CONFIG_PATH PKG_CONFIG_LIBDIR

scripts/install-deps.sh packages || die "installing the Debian packages the build needs"
version=$(dpkg-parsechangelog -l debian/changelog -S Version) || die "reading debian/changelog"
multiarch=$(dpkg-architecture -q DEB_HOST_MULTIARCH)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
libdir=/usr/lib/$multiarch

# --- The build, in a copy of the source tree ---------------------------------

# The files of the source tree: git's (tracked and new ones, as they are in
# the work tree), or all but build/ outside a git checkout.
source_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
      if [ -e "$f" ] || [ -L "$f" ]; then printf '%s\0' "$f"; fi
    done
  else
    find . -path ./build -prune -o -path ./.git -prune -o ! -type d -printf '%P\0'
  fi
}
tree_state() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git status --porcelain --untracked-files=all
  fi
}

note "building $(printf '%s ' "${packages[@]}")$version in build/packages"
tree_before=$(tree_state)
src=$work/voxa-$version
rm -rf "$work" && mkdir -p "$src" || die "cannot make $src"
source_files | tar -c --null -T - -f - | tar -x -C "$src" -f - || die "copying the source tree to $src"

start=$SECONDS
# The source package first, from the clean copy: lintian checks debian/
# (control, copyright, overrides) through it.
(cd "$work" && dpkg-source -b "voxa-$version") >"$work/source.log" 2>&1 ||
  { tail -n 20 "$work/source.log"; die "dpkg-source -b (see build/packages/source.log)"; }
# No -dbgsym packages: nothing here uses them.
(cd "$src" && DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }noautodbgsym" \
  dpkg-buildpackage -b -us -uc -J2) >"$work/build.log" 2>&1 ||
  { tail -n 30 "$work/build.log"; die "dpkg-buildpackage (see build/packages/build.log)"; }
note "built in $((SECONDS - start)) s"

debs=()
built=1
for pkg in "${packages[@]}"; do
  deb=$work/${pkg}_${version}_$arch.deb
  check "$pkg: built (build/packages/$(basename "$deb"))" test -f "$deb"
  [ -f "$deb" ] || built=0
  debs+=("$deb")
done
others=$(cd "$work" && ls *.deb 2>/dev/null | grep -v -x -F "$(printf '%s\n' "${debs[@]##*/}")")
check "no other package built${others:+: $(echo $others)}" test -z "$others"
check "the source tree is as it was (the build ran in build/packages)" test "$(tree_state)" = "$tree_before"
if [ "$built" = 0 ]; then finish; exit; fi

# Build-Depends names every package the build read a file of (beyond what
# build-essential brings): the headers each object was compiled with
# (ninja's dependency log) and the libraries and packages CMake found (its
# cache). A package installed here but missing from the list would break the
# build on a machine without it.
build_depends=$(sed -n '/^Build-Depends:/,/^[^ ]/{s/^Build-Depends://; /^[A-Z]/d; p}' debian/control |
  tr ',|' '\n\n' | sed 's/[[(<].*//; s/:.*//; s/ //g' | sed '/^$/d' | sort -u)
# closure PACKAGE...: the installed packages these depend on, all the way down.
closure() {
  local queue=("$@") seen=" " pkg dep
  while [ ${#queue[@]} -gt 0 ]; do
    pkg=${queue[0]}
    queue=("${queue[@]:1}")
    case "$seen" in *" $pkg "*) continue ;; esac
    seen+="$pkg "
    for dep in $(dpkg-query -W -f='${Depends},${Pre-Depends}' "$pkg" 2>/dev/null | tr ',|' '\n\n' |
      sed 's/(.*//; s/:.*//; s/ //g'); do
      queue+=("$dep")
    done
  done
  tr ' ' '\n' <<<"$seen" | sed '/^$/d' | sort -u
}
essential=$(closure libc6-dev gcc g++ make dpkg-dev)
builddir=$src/obj-$(dpkg-architecture -q DEB_HOST_GNU_TYPE)
used=$({
  (cd "$builddir" && ninja -t deps) | sed -n 's|^ *\(/usr/.*\)$|\1|p'
  sed -n 's/^\(pkgcfg_lib_[A-Za-z0-9_]*\|[A-Za-z][A-Za-z0-9_]*_DIR\):\(FILE\)\?PATH=\(\/.*\)$/\3/p' \
    "$builddir/CMakeCache.txt" | grep -v '^/usr$'
} | sort -u)
owners=$(xargs -r dpkg-query -S <<<"$used" 2>"$work/owners.log" | sed 's/: .*//' | tr ',' '\n' |
  sed 's/ //g; s/:.*//' | sort -u)
unlisted=$(comm -23 <(echo "$owners") <(sort -u <<<"$build_depends"$'\n'"$essential"))
unowned=$(sed 's/^dpkg-query: no path found matching pattern //' "$work/owners.log")
check "Build-Depends names the packages of the $(wc -l <<<"$used") system files the build read ($(echo $owners))${unlisted:+; not: $(echo $unlisted)}${unowned:+; of no package: $(echo $unowned)}" \
  test -n "$used" -a -z "$unlisted" -a -z "$unowned"

# --- lintian ----------------------------------------------------------------

# lintian advises against running as root: as root it runs as nobody, on
# copies nobody can read.
lint() {
  if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    local copy
    # The source package's tarball goes with its .dsc.
    copy=$(mktemp -d) && chmod 755 "$copy" && cp "$@" "${1%.dsc}".tar.* "$copy"/ && chmod 644 "$copy"/* &&
      (cd "$copy" && runuser -u nobody -- env HOME="$copy" lintian "${lint_options[@]}" "${@##*/}") ||
      { local status=$?; rm -rf "$copy"; return $status; }
    rm -rf "$copy"
  else
    lintian "${lint_options[@]}" "$@"
  fi
}
# The verdict is read from the tags shown: with --show-overrides, lintian's
# --fail-on counts overridden tags too. Its exit status says whether it ran.
lint_options=(--fail-on none --display-info --show-overrides)
lint "$work/voxa_$version.dsc" "${debs[@]}" >"$work/lintian.log" 2>&1
status=$?
sed 's/^/  lintian: /' "$work/lintian.log"
shown=$(grep -c '^[EW]: ' "$work/lintian.log")
check "lintian ran on the source package and the three binary packages" test "$status" -eq 0
check "lintian: no error, no warning ($shown shown; $(grep -c '^I: ' "$work/lintian.log") informational, $(grep -c '^O: ' "$work/lintian.log") overridden)" \
  test "$status" -eq 0 -a "$shown" -eq 0

# --- The packages' files ------------------------------------------------------

# expected PACKAGE: the files (not folders) the package must hold, sorted.
expected() {
  local doc=/usr/share/doc/$1
  {
    printf '%s\n' "$doc/changelog.gz" "$doc/copyright" "/usr/share/lintian/overrides/$1"
    case $1 in
      libvoxa1) printf '%s\n' "$libdir/libvoxa.so.1" "$libdir/libvoxa.so.$version" ;;
      libvoxa-dev) printf '%s\n' /usr/include/voxa/voxa.h "$libdir/libvoxa.a" "$libdir/libvoxa.so" \
        "$libdir/pkgconfig/voxa.pc" ;;
      voxa-tools) printf '%s\n' /usr/bin/voxa /usr/share/man/man1/voxa.1.gz ;;
    esac
  } | sort
}
# contents DEB: the files (not folders) in DEB, sorted.
contents() {
  dpkg-deb --fsys-tarfile "$1" | tar -t | sed -n 's|^\./|/|; /[^/]$/p' | sort
}
for i in "${!packages[@]}"; do
  pkg=${packages[$i]}
  difference=$(diff <(expected "$pkg") <(contents "${debs[$i]}") | grep '^[<>]' | tr '\n' ' ')
  check "$pkg holds exactly its files${difference:+ (< missing, > unexpected: $difference)}" test -z "$difference"
done

# debian/copyright (DEP-5) carries LICENSE: its copyright line and its text.
license_text() { sed -n '/^Permission is hereby granted/,$p' LICENSE; }
# The text of the stand-alone "License: Expat" paragraph, its " ." lines
# empty again.
copyright_text() {
  awk -v RS= '/^License: Expat\n/' debian/copyright | sed -e '1d' -e 's/^ //' -e 's/^\.$//'
}
check "debian/copyright is machine-readable (DEP-5)" \
  grep -q -x 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' debian/copyright
check "debian/copyright has LICENSE's copyright line" \
  grep -q -x -F "Copyright: $(sed -n 's/^Copyright (c) //p' LICENSE)" debian/copyright
check "debian/copyright has LICENSE's text" test "$(copyright_text)" = "$(license_text)"

# The symbols file lists what voxa.h declares, no more, no less (the build
# fails when the library exports anything else: DPKG_GENSYMBOLS_CHECK_LEVEL).
declared=$(grep -o 'VOXA_API[^(]*\bvoxa_[a-z0-9_]*(' include/voxa/voxa.h | sed 's/.*\b\(voxa_[a-z0-9_]*\)($/\1/' | sort)
listed=$(sed -n 's/^ \(voxa_[a-z0-9_]*\)@VOXA_1 .*/\1/p' debian/libvoxa1.symbols | sort)
check "debian/libvoxa1.symbols lists the $(wc -w <<<"$declared") functions of voxa.h" \
  test -n "$declared" -a "$declared" = "$listed"
shipped=$(dpkg-deb --ctrl-tarfile "${debs[0]}" | tar -xO ./symbols | sed -n 's/^ \(voxa_[a-z0-9_]*\)@VOXA_1 .*/\1/p' | sort)
check "libvoxa1 ships that symbols file" test "$shipped" = "$listed"

# --- Installed ----------------------------------------------------------------

if [ "$(id -u)" -ne 0 ]; then
  fail "installing the packages needs root"
  finish
  exit
fi

apt_get() {
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -y -q "$@"
}
installed() { [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" != "" ]; }
purge() {
  local present=()
  for pkg in "${packages[@]}"; do
    if installed "$pkg"; then present+=("$pkg"); fi
  done
  [ ${#present[@]} -eq 0 ] || apt_get purge "${present[@]}"
}
purge >"$work/purge-before.log" 2>&1 || die "purging packages left by an earlier run"
# Files of the system named after the project, to find after the purge what
# maintainer scripts made and left (dpkg lists only the packages' own
# files). build-ffmpeg.sh adds apt's source entry and keeps it.
system_files() {
  find /usr /etc /var /opt -xdev -iname '*voxa*' ! -path /etc/apt/sources.list.d/voxa-deb-src.sources \
    2>/dev/null | sort
}
system_files >"$work/system-before.txt"
# Whatever happens from here, the packages do not stay installed.
trap 'purge >/dev/null 2>&1' EXIT

apt_get install "${debs[@]}" >"$work/install.log" 2>&1 ||
  { tail -n 20 "$work/install.log"; die "apt-get install of the packages"; }
for pkg in "${packages[@]}"; do
  check "$pkg $version installed" \
    test "$(dpkg-query -W -f='${db:Status-Abbrev} ${Version}' "$pkg" 2>/dev/null)" = "ii  $version"
done
# What dpkg installed, for the check after the purge.
for pkg in "${packages[@]}"; do dpkg -L "$pkg"; done | sort -u >"$work/installed-paths.txt"

check "the installed header is include/voxa/voxa.h" cmp -s /usr/include/voxa/voxa.h include/voxa/voxa.h
check "libvoxa.so.1 is libvoxa.so.$version, its SONAME libvoxa.so.1" eval \
  '[ "$(readlink "$libdir/libvoxa.so.1")" = "libvoxa.so.$version" ] &&
   grep -q "SONAME.*\[libvoxa.so.1\]" <<<"$(readelf -d "$libdir/libvoxa.so.$version")"'
check "libvoxa.so links libvoxa.so.1" test "$(readlink "$libdir/libvoxa.so")" = libvoxa.so.1

# pkg-config: the package's voxa.pc, the system's folders (so no -I or -L).
cflags_libs=$(pkg-config --cflags --libs voxa 2>&1 | sed 's/ *$//')
check "pkg-config --cflags --libs voxa gives '-lvoxa' (got '$cflags_libs')" test "$cflags_libs" = "-lvoxa"
check "pkg-config finds $libdir/pkgconfig/voxa.pc" test "$(pkg-config --path voxa)" = "$libdir/pkgconfig/voxa.pc"
check "pkg-config: voxa $version, libdir $libdir, includedir /usr/include" test \
  "$(pkg-config --modversion voxa) $(pkg-config --variable=libdir voxa) $(pkg-config --variable=includedir voxa)" = \
  "$version $libdir /usr/include"

# The README's C example, built as the README says, against the packages.
c=$work/c
mkdir -p "$c"
sed -n '/<!-- library example -->/,/^```$/p' README.md | sed '1,2d;$d' >"$c/example.c"
check "the README's example builds with cc example.c \$(pkg-config --cflags --libs voxa)" \
  cc -std=c99 -Wall -Wextra -Werror "$c/example.c" $(pkg-config --cflags --libs voxa) -o "$c/example"
example=$("$c/example" 2>&1)
check "the README's example runs (printed '$example')" eval '[[ "$example" == *", alpha 255" ]]'
# loads_package_library PROGRAM: PROGRAM's dynamic linker finds the package's libvoxa.so.1
# (under its own name or through the /lib link of a merged /usr).
loads_package_library() {
  local found
  found=$(ldd "$1" | awk '$1 == "libvoxa.so.1" { print $3 }')
  [ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$libdir/libvoxa.so.1")" ]
}
check "the example loads $libdir/libvoxa.so.1" loads_package_library "$c/example"
# The C test of the library, on the installed shared and static libraries.
cc -std=c99 -Wall -Wextra -Werror -pedantic tests/api_test.c $(pkg-config --cflags --libs voxa) \
  -o "$c/api_test_shared" >"$c/api_test.log" 2>&1 &&
  "$c/api_test_shared" >>"$c/api_test.log" 2>&1
status=$?
check "tests/api_test.c on the installed libvoxa.so.1 ($(grep -o '[0-9]* passed, [0-9]* failed' "$c/api_test.log" | tail -n 1))" \
  test "$status" -eq 0
cc -std=c99 -Wall -Wextra -Werror -pedantic tests/api_test.c $(pkg-config --cflags voxa) "$libdir/libvoxa.a" \
  $(pkg-config --static --libs-only-l voxa | sed 's/-lvoxa//') -o "$c/api_test_static" >"$c/api_test_static.log" 2>&1 &&
  "$c/api_test_static" >>"$c/api_test_static.log" 2>&1 && ! grep -q libvoxa <<<"$(ldd "$c/api_test_static")"
status=$?
check "tests/api_test.c on the installed libvoxa.a ($(grep -o '[0-9]* passed, [0-9]* failed' "$c/api_test_static.log" | tail -n 1))" \
  test "$status" -eq 0

# The tool.
check "voxa is /usr/bin/voxa" test "$(command -v voxa)" = /usr/bin/voxa
tool_version=$(voxa --version 2>&1 | sed -n 1p)
check "voxa --version says 'voxa $version' (got '$tool_version')" test "$tool_version" = "voxa $version"
t=$work/tool
mkdir -p "$t"
(
  cd "$t" && voxa sample --size 64x32 --frames 4 clip.bgra && voxa encode clip.bgra clip.avi --size 64x32 --quiet &&
    voxa decode clip.avi back.bgra --quiet && voxa compare --size 64x32 clip.bgra back.bgra
) >"$t/tool.log" 2>&1
status=$?
check "voxa sample, encode, decode and compare run" test "$status" -eq 0
commands=$(voxa --help | sed -n '/^\(sub\)\?commands:$/I,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
page=$(zcat /usr/share/man/man1/voxa.1.gz)
missing=$(for command in $commands; do
  grep -q -x -F ".SS \"voxa ${command//-/\\-}\"" <<<"$page" || echo "$command"
done)
check "voxa(1) has a section for each of the $(wc -w <<<"$commands") commands of voxa --help${missing:+ (missing: $missing)}" \
  test -n "$commands" -a -z "$missing"

# The installed tool's file through FFmpeg's own decoder, which needs no
# libvoxa (the build is kept for scripts/test-ffmpeg.sh).
start=$SECONDS
scripts/build-ffmpeg.sh >"$work/ffmpeg.log" 2>&1
status=$?
sed 's/^/  /' "$work/ffmpeg.log" | tail -n 5
check "scripts/build-ffmpeg.sh ($((SECONDS - start)) s)" test "$status" -eq 0
ffmpeg=$root/build/ffmpeg/bin/ffmpeg
(
  cd "$t" && voxa decode clip.avi back_%04d.png --quiet &&
    a=$("$ffmpeg" -nostdin -v error -i clip.avi -f framemd5 -pix_fmt bgra - | grep -v '^#' | cut -d, -f6) &&
    b=$("$ffmpeg" -nostdin -v error -i back_%04d.png -f framemd5 -pix_fmt bgra - | grep -v '^#' | cut -d, -f6) &&
    [ -n "$a" ] && [ "$a" = "$b" ] && [ "$(wc -l <<<"$a")" -eq 4 ]
) >"$t/ffmpeg.log" 2>&1
status=$?
check "ffmpeg decodes the tool's clip to the pictures of voxa decode (framemd5)" test "$status" -eq 0

# --- Purged -------------------------------------------------------------------

apt_get purge "${packages[@]}" >"$work/purge.log" 2>&1
status=$?
check "apt-get purge of the packages" test "$status" -eq 0
for pkg in "${packages[@]}"; do
  check "dpkg knows no $pkg (dpkg -L lists nothing)" eval \
    '! dpkg-query -W "$pkg" >/dev/null 2>&1 && [ -z "$(dpkg -L "$pkg" 2>/dev/null)" ]'
done
# A folder may stay when another package has it too.
left=$(while IFS= read -r path; do
  if [ "$path" = /. ]; then
    continue
  elif [ -L "$path" ] || [ -f "$path" ]; then
    echo "$path"
  elif [ -d "$path" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
    echo "$path/"
  fi
done <"$work/installed-paths.txt")
check "no file of the packages is left ($(wc -l <"$work/installed-paths.txt") paths)${left:+: $(echo $left)}" test -z "$left"
new=$(comm -13 "$work/system-before.txt" <(system_files))
check "nothing named voxa appeared under /usr, /etc, /var or /opt${new:+: $(echo $new)}" test -z "$new"
dpkg_left=$(ls /var/lib/dpkg/info | grep -E '^(libvoxa1|libvoxa-dev|voxa-tools)[.:]')
check "dpkg keeps nothing of them${dpkg_left:+: $(echo $dpkg_left)}" test -z "$dpkg_left"
check "pkg-config finds no voxa" eval '! pkg-config --exists voxa'
check "the dynamic linker knows no libvoxa" eval '! grep -q libvoxa <<<"$(ldconfig -p)"'
finish
