#!/usr/bin/env bash
# Builds the Windows-side third-party libraries with the MinGW-w64 posix toolchain:
# GoogleTest (from /usr/src/googletest), libjpeg-turbo (static, SIMD, libjpeg API 62),
# FreeType (static, no optional codecs), the last two from Debian's source packages pinned to
# the installed native versions, and the headers of Anti-Grain Geometry. Each lands in
# its own prefix in a cache outside the repository, keyed by version, e.g.
# ~/.cache/vantry-deps/libjpeg-turbo-2.1.5-2-mingw/; a stamp written last marks a finished
# prefix, so a second run does nothing.
#
#   scripts/build-windows-deps.sh                      build what is missing, print the prefixes
#   scripts/build-windows-deps.sh --print-prefix-path  print "p1;p2;..." if all are built, else fail
#
# VANTRY_DEPS_CACHE overrides the cache directory.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${VANTRY_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantry-deps}
toolchain=$repo/cmake/mingw-w64-x86_64.cmake
# Bump when a recipe below changes, so finished prefixes are rebuilt.
recipe=1

die() { echo "build-windows-deps: $*" >&2; exit 1; }

source_version() { # installed source version of a binary package, e.g. 1:2.1.5-2
    dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || die "package $1 is not installed (run scripts/install-deps.sh)"
}

# name|source package|version (installed binary package's source version)
gtest_version=$(source_version googletest)
jpeg_version=$(source_version libjpeg62-turbo-dev)
freetype_version=$(source_version libfreetype-dev)
agg_version=$(source_version libagg-dev)
deps=(googletest libjpeg-turbo freetype agg)
declare -A version=([googletest]=$gtest_version [libjpeg-turbo]=$jpeg_version [freetype]=$freetype_version
                    [agg]=$agg_version)

prefix_of() { # the epoch ("1:") is dropped: a colon does not belong in a search path
    local v=${version[$1]}
    echo "$cache/$1-${v#*:}-mingw"
}

stamp_text() {
    echo "recipe=$recipe compiler=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix 2>/dev/null || echo none) source=${version[$1]}"
}

is_built() {
    local stamp="$(prefix_of "$1")/.vantry-stamp"
    [[ -f $stamp && "$(cat "$stamp")" == "$(stamp_text "$1")" ]]
}

prefix_path() {
    local out="" dep
    for dep in "${deps[@]}"; do out+="${out:+;}$(prefix_of "$dep")"; done
    echo "$out"
}

if [[ ${1:-} == --print-prefix-path ]]; then
    for dep in "${deps[@]}"; do
        is_built "$dep" || die "$(prefix_of "$dep") is missing or stale: run scripts/build-windows-deps.sh"
    done
    prefix_path
    exit 0
fi
[[ $# -eq 0 ]] || die "unknown argument: $1"

mkdir -p "$cache"
# One builder at a time: a second caller waits, then finds the stamps.
exec 9>"$cache/.lock"
flock 9

work=$(mktemp -d "${TMPDIR:-/tmp}/vantry-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
jobs=$(nproc 2>/dev/null || echo 2)

# apt-get with a temporary deb-src list made from the system's own entries, so no archive
# host is ever written down and the system's apt setup stays untouched.
apt_src() {
    apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt/parts" \
            -o Dir::State::Lists="$work/apt/lists" -o APT::Sandbox::User=root "$@"
}

apt_src_ready=no
prepare_apt_src() {
    [[ $apt_src_ready == yes ]] && return
    mkdir -p "$work/apt/parts" "$work/apt/lists/partial"
    local f n=0
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        n=$((n + 1))
        sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/parts/vantry-src-$n.sources"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        n=$((n + 1))
        sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f" >"$work/apt/parts/vantry-src-$n.list"
    done
    (( n > 0 )) || die "no apt sources found to derive a deb-src entry from"
    # A suite without sources (some mirrors) only warns; the pinned fetch below decides.
    apt_src update -qq || echo "build-windows-deps: some source indexes failed to download; trying anyway" >&2
    apt_src_ready=yes
}

# Unpacks Debian's source package $1 at version $2 into $work/src-$1 and prints its directory.
fetch_source() {
    prepare_apt_src >&2
    local dir="$work/src-$1"
    mkdir -p "$dir"
    (cd "$dir" && apt_src source -qq "$1=$2" >"$work/log" 2>&1) || { cat "$work/log" >&2; die "could not fetch source package $1=$2"; }
    find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n1
}

# Configures, builds and installs one CMake project for MinGW into $prefix.
cmake_install() {
    local src=$1 prefix=$2; shift 2
    local build="$work/build-$(basename "$prefix")"
    cmake -S "$src" -B "$build" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
          -DCMAKE_CROSSCOMPILING_EMULATOR= -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; die "configure of $src failed"; }
    cmake --build "$build" -j"$jobs" >"$work/log" 2>&1 || { tail -n 60 "$work/log" >&2; die "build of $src failed"; }
    cmake --install "$build" >"$work/log" 2>&1 || { cat "$work/log" >&2; die "install of $src failed"; }
}

build_googletest() {
    cmake_install /usr/src/googletest "$1" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

build_libjpeg-turbo() {
    local src; src=$(fetch_source libjpeg-turbo "${version[libjpeg-turbo]}")
    command -v nasm >/dev/null || die "nasm is missing (run scripts/install-deps.sh)"
    cmake_install "$src" "$1" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_JPEG8=OFF \
                  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_freetype() {
    local src; src=$(fetch_source freetype "${version[freetype]}")
    cmake_install "$src" "$1" -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON \
                  -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
}

# AGG: the player uses only its header-only core (scanline rasterizer, pixel formats, paths),
# so the Windows side takes the very headers of the installed libagg-dev (version-pinned by the
# stamp) and a package config naming them; no AGG object code is linked on either side.
build_agg() {
    local headers=/usr/include/agg2
    [[ -f $headers/agg_rasterizer_scanline_aa.h ]] || die "$headers is missing (run scripts/install-deps.sh)"
    mkdir -p "$1/include" "$1/lib/cmake/agg"
    cp -r "$headers" "$1/include/agg2"
    cat >"$1/lib/cmake/agg/agg-config.cmake" <<'CMAKE'
get_filename_component(agg_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET agg::agg)
  add_library(agg::agg INTERFACE IMPORTED)
  set_target_properties(agg::agg PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${agg_prefix}/include/agg2")
endif()
CMAKE
}

for dep in "${deps[@]}"; do
    prefix=$(prefix_of "$dep")
    if is_built "$dep"; then
        echo "build-windows-deps: $dep ${version[$dep]} is cached"
        continue
    fi
    echo "build-windows-deps: building $dep ${version[$dep]} for MinGW-w64 ..."
    start=$SECONDS
    rm -rf "$prefix"
    "build_$dep" "$prefix"
    stamp_text "$dep" >"$prefix/.vantry-stamp"
    echo "build-windows-deps: $dep done in $((SECONDS - start)) s"
done

echo "build-windows-deps: prefixes (pass as -DVANTRY_DEPS_PREFIX=\"...\"; the windows preset finds them itself):"
for dep in "${deps[@]}"; do echo "  $(prefix_of "$dep")"; done
echo "VANTRY_DEPS_PREFIX=$(prefix_path)"
