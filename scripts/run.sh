#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under Wine (on a private
# Xvfb display when there is no DISPLAY; Ctrl+C ends it there).
# VANTRY_SKIP_DEPS=1 skips the install step; VANTRY_JOBS sets the build parallelism (default 2).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
jobs=${VANTRY_JOBS:-2}

if [[ ${VANTRY_SKIP_DEPS:-0} != 1 ]]; then
    scripts/install-deps.sh
fi

mkdir -p build/windows
echo "run: building Vantry.exe (windows preset) ..."
if ! { cmake --preset windows && cmake --build --preset windows -j"$jobs" --target Vantry; } \
        >build/windows/run-build.log 2>&1; then
    tail -n 40 build/windows/run-build.log >&2
    echo "run: the build failed (whole log: build/windows/run-build.log)" >&2
    exit 1
fi

exe=build/windows/app/Vantry.exe
echo "run: starting $exe under Wine"
if [[ -n ${DISPLAY:-} ]]; then
    exec scripts/wine-run.sh "$exe"
fi
echo "run: no DISPLAY; the window opens on a private Xvfb display (Ctrl+C ends it)"
exec scripts/with-wine.sh scripts/wine-run.sh "$exe"
