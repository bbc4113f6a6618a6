#!/usr/bin/env bash
# Installs what building and testing Vantry needs on Debian 12: the native toolchain and
# libraries, the MinGW-w64 cross toolchain, Wine and Xvfb for the Windows tests, and the
# reference tools the tests compare against (djpeg/cjpeg, ImageMagick). Asks apt only for
# packages that are missing, so a second run takes a moment. Then builds the Windows-side
# libraries (scripts/build-windows-deps.sh, cached outside the repository).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
    # native build and tests
    cmake make g++ googletest libgtest-dev
    libjpeg62-turbo-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
    # Anti-Grain Geometry, the rasteriser of the portable metafile player
    libagg-dev
    # the linux-fuzz preset (scripts/fuzz.sh): clang with libFuzzer and the sanitizer runtimes
    clang-14 libclang-rt-14-dev
    # reference oracles used by the tests, and sample pictures for scripts/run.sh
    libjpeg-turbo-progs imagemagick
    # EXIF read back by the metadata tests (exiftool)
    libimage-exiftool-perl
    # line coverage (scripts/coverage.sh)
    gcovr
    # Windows cross build; nasm for libjpeg-turbo's SIMD, dpkg-dev to unpack Debian sources
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev nasm dpkg-dev
    # Windows tests: 64-bit Wine is enough (no wine32), Wine's own fonts, a virtual X display
    wine wine64 fonts-wine xvfb xauth xdotool
    # a CJK font linked to Tahoma in the Wine prefix, for the dialog's full-width stops (U+3002)
    fonts-wqy-microhei
    # X libraries Wine's display driver loads at run time (keyboard and mouse input, cursors,
    # screen layout); only recommended by Wine, so apt would leave them out
    libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
    [[ $status == ii* ]] || missing+=("$package")
done

if ((${#missing[@]})); then
    echo "install-deps: installing ${missing[*]}"
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null || { echo "install-deps: run as root (or install sudo)" >&2; exit 1; }
        sudo=(sudo)
    fi
    apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=600)
    log=$(mktemp "${TMPDIR:-/tmp}/vantry-apt.XXXXXX")
    start=$SECONDS
    if ! { "${apt[@]}" update && "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "install-deps: apt-get failed (whole log: $log)" >&2
        exit 1
    fi
    rm -f "$log"
    echo "install-deps: done in $((SECONDS - start)) s"
else
    echo "install-deps: all ${#packages[@]} packages are installed"
fi

"$here/build-windows-deps.sh"
