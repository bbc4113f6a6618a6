#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vantry. The Windows program runs under Wine
# (on a private Xvfb display when there is no DISPLAY). Where it is not built, the portable
# vantry-cli resizes a few generated sample pictures into ./small and prints its log.
# VANTRY_SKIP_DEPS=1 skips the install step; VANTRY_JOBS sets the build parallelism (default 2).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
jobs=${VANTRY_JOBS:-2}

if [[ ${VANTRY_SKIP_DEPS:-0} != 1 ]]; then
    scripts/install-deps.sh
fi

# Configures a preset quietly (its log goes into the build directory) and tells whether it
# knows the target.
has_target() {
    local preset=$1 target=$2
    mkdir -p "build/$preset"
    cmake --preset "$preset" >"build/$preset/configure.log" 2>&1 || {
        cat "build/$preset/configure.log" >&2
        echo "run: configuring the $preset preset failed" >&2
        exit 1
    }
    local targets
    targets=$(cmake --build --preset "$preset" --target help 2>/dev/null) || return 1
    grep -qE "^\.\.\. $target( |$)" <<<"$targets"
}

build() {
    echo "run: building $2 ($1 preset) ..."
    cmake --build --preset "$1" -j"$jobs" --target "$2"
}

if has_target windows Vantry; then
    build windows Vantry
    exe=build/windows/app/Vantry.exe
    echo "run: starting $exe under Wine"
    if [[ -n ${DISPLAY:-} ]]; then
        exec scripts/wine-run.sh "$exe"
    fi
    echo "run: no DISPLAY; the window opens on a private Xvfb display (Ctrl+C ends it)"
    exec scripts/with-wine.sh scripts/wine-run.sh "$exe"
fi

if has_target linux vantry-cli; then
    build linux vantry-cli
    samples=build/run-samples
    rm -rf "$samples"
    mkdir -p "$samples"
    echo "run: making sample pictures in $samples"
    convert -size 1024x768 gradient:'#1d3557'-'#f1c453' -quality 92 "$samples/dusk.jpg"
    convert -size 800x600 radial-gradient:'#fefae0'-'#283618' -quality 92 "$samples/spot.jpg"
    convert -size 640x960 gradient:'#e63946'-'#457b9d' -rotate 90 -quality 92 "$samples/wide.jpg"
    convert -size 600x400 pattern:checkerboard -quality 92 "$samples/checker.jpg"
    mkdir -p small
    echo "run: build/linux/cli/vantry-cli resize --mark Vantry --dest ./small $samples/*.jpg"
    status=0
    build/linux/cli/vantry-cli resize --mark "Vantry" --dest ./small "$samples"/*.jpg || status=$?
    echo "run: results in $repo/small:"
    ls -l small
    exit "$status"
fi

build linux vantry_image
echo "run: only the image library (vantry_image) is built so far; neither the Windows program"
echo "run: nor vantry-cli exists yet. scripts/test.sh builds and tests everything there is."
