#!/usr/bin/env bash
# Screenshots of Vantry.exe under Xvfb + Wine (virtual desktop, Wine's Tahoma in the prefix).
# It starts the program, optionally adds the given pictures through the real open-file
# dialog and starts a run, then saves main.png (the main window), preview.png (the preview
# of the top row, when pictures were given) and about.png (the About box) and closes the
# program with Esc.
#
#   scripts/screenshot.sh [--out DIR] [--exe PATH] [--mark TEXT] [--dpi N] [PICTURE...]
#
# Defaults: --out build/screenshots, --mark "Vantry 2026", --dpi 96 (144 shows the program
# on a display scaled to 150 %), and without --exe the Vantry.exe of the windows preset,
# brought up to date first. Needs xdotool and ImageMagick.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$repo/build/screenshots
exe=
mark="Vantry 2026"
dpi=96
pictures=()

usage() { sed -n '2,10p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }
die() { echo "screenshot: $*" >&2; exit 1; }

while (($#)); do
    case $1 in
        --out) out=$2; shift 2 ;;
        --exe) exe=$2; shift 2 ;;
        --mark) mark=$2; shift 2 ;;
        --dpi) dpi=$2; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        --) shift; pictures+=("$@"); break ;;
        -*) die "unknown option $1 (see --help)" ;;
        *) pictures+=("$1"); shift ;;
    esac
done

for tool in xdotool import convert; do
    command -v "$tool" >/dev/null || die "$tool is missing (packages xdotool, imagemagick)"
done
for picture in "${pictures[@]}"; do
    [[ -f $picture ]] || die "no such picture: $picture"
done
if [[ -z $exe ]]; then
    echo "screenshot: building Vantry.exe with the windows preset ..." >&2
    (cd "$repo" && { [[ -f build/windows/CMakeCache.txt ]] || cmake --preset windows >/dev/null; } &&
        cmake --build --preset windows --target Vantry >/dev/null) || die "the build failed"
    exe=$repo/build/windows/app/Vantry.exe
fi
[[ -f $exe ]] || die "no such program: $exe"
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
mkdir -p "$out"

[[ $dpi =~ ^[0-9]+$ ]] || die "--dpi takes a number"

source "$repo/scripts/wine-env.sh"
# The display resolution is a setting of the prefix: set it for this run, put 96 back after.
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || true; }
finish() {
    ((dpi == 96)) || set_dpi 96
    vantry_wine_stop
}
trap finish EXIT
vantry_wine_start
((dpi == 96)) || set_dpi "$dpi"

main_title='Batch Pictures Resize,Add Marker Tool'

# Waits (up to ~20 s) for a top-level window of that exact title; prints its X window id.
wait_window() {
    local id tries
    for tries in $(seq 200); do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1 || true)
        [[ -n $id ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    die "window \"$1\" did not appear"
}
wait_gone() {
    local tries
    for tries in $(seq 200); do
        xdotool search --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    die "window \"$1\" did not close"
}
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }

wine "$exe" </dev/null >/dev/null 2>&1 &
program=$!
main=$(wait_window "$main_title")
desktop=$(xdotool search --name 'Wine desktop' | head -n1)
xdotool windowfocus "$desktop" 2>/dev/null || true
sleep 1

if ((${#pictures[@]})); then
    # Focus starts on "&About..."; in tab order follow the log, "Clear Logs", the list and
    # "3.Open(Add) Picture File", which keeps the focus after each open-file dialog.
    keys Tab Tab Tab Tab
    for picture in "${pictures[@]}"; do
        keys space
        wait_window Open >/dev/null
        sleep 0.5
        xdotool type --delay 20 "$(winepath -w "$(realpath "$picture")" 2>/dev/null)"
        keys Return
        wait_gone Open
    done
    # "4.Start Resize", "5.Open ...", then the mark edit box; back to Start and press it.
    keys Tab Tab Tab
    xdotool type --delay 20 "$mark"
    keys shift+Tab shift+Tab space
    sleep $((3 + ${#pictures[@]}))
fi

import -window "$main" "$out/main.png"
shots=("$out/main.png")

if ((${#pictures[@]})); then
    # From "5.Open ..." (the focus moved there when Start was disabled) back over Start and
    # "3.Open(Add) Picture File" to the list; Home focuses the top row, Enter previews it.
    keys shift+Tab shift+Tab shift+Tab Home Return
    preview=$(wait_window "$(basename "${pictures[-1]}") - Preview")
    sleep 2
    import -window "$preview" "$out/preview.png"
    shots+=("$out/preview.png")
    keys Escape
    wait_gone "$(basename "${pictures[-1]}") - Preview"
    xdotool windowfocus "$main" 2>/dev/null || true
fi

keys alt+a
about=$(wait_window 'About Vantry')
sleep 0.5
import -window "$about" "$out/about.png"
keys Escape
wait_gone 'About Vantry'

keys Escape
wait "$program" || true
printf '%s\n' "${shots[@]}" "$out/about.png"
