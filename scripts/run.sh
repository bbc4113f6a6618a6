#!/usr/bin/env bash
# The main job, on any machine:
#
#   scripts/run.sh [PICTURE...]
#
# With a usable display it builds Vantry.exe and starts it under Wine with the pictures in its
# list (or an empty list). Without one it builds vantry-cli and runs the same batch (half size,
# the mark "Vantry" at the top left, JPEG quality 90) on the pictures, or on sample pictures it
# makes itself when none are given; it prints where the outputs are, then runs the Windows
# program on the same pictures under Xvfb and saves screenshots of its window after the run.
# Installs what is missing first (VANTRY_SKIP_DEPS=1 skips that); VANTRY_JOBS sets the build
# parallelism (default 2). Everything it makes goes under build/run/.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VANTRY_JOBS:-2}
mark=Vantry
work=$repo/build/run

say() { echo "run: $*"; }
die() { echo "run: $*" >&2; exit 1; }

pictures=()
for picture in "$@"; do
    [[ -f $picture ]] || die "no such picture: $picture"
    pictures+=("$(realpath "$picture")")
done
cd "$repo"

if [[ ${VANTRY_SKIP_DEPS:-0} != 1 ]]; then
    scripts/install-deps.sh
fi

# Builds the targets of a preset quietly; shows the end of the log when that fails.
build() {
    local preset=$1
    shift
    mkdir -p "build/$preset"
    say "building $* ($preset preset) ..."
    if ! { { [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset"; } &&
           cmake --build --preset "$preset" -j"$jobs" --target "$@"; } >"build/$preset/run-build.log" 2>&1; then
        tail -n 40 "build/$preset/run-build.log" >&2
        die "the build failed (whole log: build/$preset/run-build.log)"
    fi
}

# A display we can open windows on: set, and answering.
if [[ -n ${DISPLAY:-} ]] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    build windows Vantry
    # Wine's drive Z: is the Unix root, so a Unix path becomes Z: and the same path.
    arguments=()
    for picture in "${pictures[@]}"; do
        arguments+=("Z:${picture//\//\\}")
    done
    say "display $DISPLAY: starting Vantry (build/windows/app/Vantry.exe) under Wine with ${#pictures[@]} picture(s) in its list"
    exec scripts/wine-run.sh build/windows/app/Vantry.exe "${arguments[@]}"
fi

say "no usable display: the batch runs through vantry-cli, then the program runs under Xvfb for screenshots"
build linux vantry-cli

if ((${#pictures[@]} == 0)); then
    samples=$work/samples
    rm -rf "$samples"
    mkdir -p "$samples"
    say "no pictures given: making three samples in $samples with ImageMagick"
    convert -size 800x600 gradient:skyblue-navy -fill gold -draw 'circle 400 300 400 160' "$samples/sunset.jpg"
    convert -size 640x480 plasma:fractal -seed 7 "$samples/plasma.jpg" 2>/dev/null ||
        convert -size 640x480 gradient:orange-purple "$samples/plasma.jpg"
    convert -size 300x400 pattern:checkerboard -fill red -draw 'rectangle 0 0 60 60' "$samples/checker.bmp"
    pictures=("$samples/sunset.jpg" "$samples/plasma.jpg" "$samples/checker.bmp")
fi

outputs=$work/small
rm -rf "$outputs"
say "vantry-cli resize --mark $mark --dest $outputs ${pictures[*]}"
status=0
build/linux/cli/vantry-cli resize --mark "$mark" --dest "$outputs" "${pictures[@]}" || status=$?
say "outputs (half size, marked) are in $outputs:"
ls -l "$outputs" | sed 1d | sed 's/^/    /'

say "running the program on the same pictures under Xvfb for screenshots ..."
shots=$work/screenshots
rm -rf "$shots"
if scripts/screenshot.sh --out "$shots" --mark "$mark" "${pictures[@]}" >/dev/null; then
    say "screenshots of the program's window after its run are in $shots:"
    ls "$shots" | sed 's/^/    /'
else
    say "the screenshots could not be taken (see the messages above)"
    status=1
fi
exit "$status"
