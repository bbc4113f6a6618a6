#!/usr/bin/env bash
# Times "vantry-cli resize --mark 'Vantry 2026'" with one and with two pictures at a time
# against a floor harness of ours (libjpeg decode, every second pixel, encode q90 4:2:0, one
# process) and against ImageMagick (mogrify -sample 50% with the same red text),
# GraphicsMagick and libvips where they are installed (apt-get install imagemagick
# graphicsmagick libvips-tools; absent ones are skipped), on the same real photographs: the
# JPEG wallpapers of a Debian wallpaper package, fetched once with apt-get download into a
# cache (never into the repo). The tools take turns within each of RUNS rounds (default 3),
# so a busy machine slows them alike; the best wall time of each, its CPU time and peak
# memory are shown with the ratios to the floor and the megapixels per second.
#   bench/resize_peers.sh [PACKAGE]     (default mate-backgrounds)
# VANTRY_BENCH_CACHE overrides the cache (default ~/.cache/vantry-bench); RUNS the rounds.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
package=${1:-mate-backgrounds}
runs=${RUNS:-3}
cache=${VANTRY_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantry-bench}
pictures="$cache/$package"
build="$repo/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ---- Pictures ------------------------------------------------------------------------------
if [[ ! -f $pictures/.complete ]]; then
    echo "bench: fetching $package into $pictures ..."
    rm -rf "$pictures"
    mkdir -p "$pictures"
    (cd "$work" && apt-get download -o APT::Sandbox::User=root "$package" >/dev/null)
    dpkg-deb -x "$work"/"${package}"_*.deb "$work/unpacked"
    # Only real JPEG data, whatever the names say; one flat directory of unique names.
    while IFS= read -r -d '' file; do
        if [[ $(head -c 3 "$file" | od -An -tx1 | tr -d ' ') == ffd8ff ]]; then
            cp "$file" "$pictures/$(basename "${file%.*}").jpg"
        fi
    done < <(find "$work/unpacked" -type f -print0)
    touch "$pictures/.complete"
fi
mapfile -t files < <(find "$pictures" -maxdepth 1 -name '*.jpg' | sort)
((${#files[@]})) || { echo "bench: no JPEG pictures in $package" >&2; exit 1; }
pixels=$(identify -format '%w %h\n' "${files[@]}" 2>/dev/null | awk '{p += $1 * $2} END {printf "%.1f", p / 1e6}')
bytes=$(du -cb "${files[@]}" | tail -n1 | cut -f1)
echo "bench: ${#files[@]} pictures from $package, $pixels Mpixel, $((bytes / 1048576)) MiB"

# ---- Our two programs, optimised ----------------------------------------------------------
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVANTRY_BUILD_TESTS=OFF >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$build" -j2 --target vantry-cli floor_resize >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; exit 1; }

# ---- Timing ----------------------------------------------------------------------------------
# measure NAME COMMAND...: one run; keeps the best wall time (seconds) with that run's CPU time
# (user + system) and peak RSS (KiB). On a shared machine the CPU time is the steadier figure.
declare -A seconds cpu memory
measure() {
    local name=$1; shift
    local out="$work/out-$name"
    rm -rf "$out"
    mkdir -p "$out"
    local cmd=("${@//@OUT@/$out}")
    /usr/bin/time -v -o "$work/time.txt" "${cmd[@]}" >/dev/null 2>"$work/stderr.txt" ||
        { echo "bench: $name failed:" >&2; tail -n 5 "$work/stderr.txt" >&2; return 0; }
    local wall rss used
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$work/time.txt")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
    used=$(awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$work/time.txt")
    if [[ -z ${seconds[$name]:-} ]] || awk "BEGIN {exit !($wall < ${seconds[$name]})}"; then
        seconds[$name]=$wall
        memory[$name]=$rss
        cpu[$name]=$used
    fi
}

font=$(fc-match -f '%{file}' 'Tahoma' 2>/dev/null || true)
text="Vantry 2026"
mapfile -t names < <(printf '%s\n' "${files[@]}" | xargs -n1 basename)
printf '%s\n' "${files[@]}" >"$work/list.txt"
for ((run = 0; run < runs; run++)); do
    measure floor "$build/bench/floor_resize" @OUT@ "${files[@]}"
    measure vantry-cli-j1 "$build/cli/vantry-cli" resize --mark "$text" --dest @OUT@ --jobs 1 "${files[@]}"
    measure vantry-cli-j2 "$build/cli/vantry-cli" resize --mark "$text" --dest @OUT@ --jobs 2 "${files[@]}"
    if command -v mogrify >/dev/null; then
        measure imagemagick mogrify -path @OUT@ -sample 50% -fill red ${font:+-font "$font"} -pointsize 24 \
            -annotate +30+50 "$text" -quality 90 -sampling-factor 2x2 "${files[@]}"
    fi
    if command -v gm >/dev/null; then
        # gm puts each output under the input's own path below the directory: give it bare names.
        measure graphicsmagick env -C "$pictures" gm mogrify -output-directory @OUT@ -sample 50% -fill red \
            ${font:+-font "$font"} -pointsize 24 -draw "text 30,50 '$text'" -quality 90 -sampling-factor 2x2 "${names[@]}"
    fi
    if command -v vips >/dev/null; then
        # libvips has no batch mode with text in one command: one process per picture, shrink only.
        measure libvips-no-mark bash -c 'while IFS= read -r f; do n=$(basename "$f"); vips subsample "$f" "$0/$n[Q=90]" 2 2 || exit 1; done <"$1"' @OUT@ "$work/list.txt"
    fi
done

# ---- Report ----------------------------------------------------------------------------------
floor=${seconds[floor]}
printf '\n%-16s %8s %8s %8s %8s %9s %8s %8s\n' tool "wall s" "x floor" "cpu s" "x floor" "RSS MiB" "x floor" "MP/s"
for name in floor vantry-cli-j1 vantry-cli-j2 imagemagick graphicsmagick libvips-no-mark; do
    [[ -n ${seconds[$name]:-} ]] || continue
    printf '%-16s %8.2f %8.2f %8.2f %8.2f %9.1f %8.2f %8.1f\n' "$name" "${seconds[$name]}" \
        "$(awk "BEGIN {print ${seconds[$name]} / $floor}")" "${cpu[$name]}" \
        "$(awk "BEGIN {print ${cpu[$name]} / ${cpu[floor]}}")" "$(awk "BEGIN {print ${memory[$name]} / 1024}")" \
        "$(awk "BEGIN {print ${memory[$name]} / ${memory[floor]}}")" "$(awk "BEGIN {print $pixels / ${seconds[$name]}}")"
done
if [[ -n ${seconds[vantry-cli-j2]:-} && -n ${seconds[vantry-cli-j1]:-} ]]; then
    echo "vantry-cli --jobs 2 / --jobs 1 wall time: $(awk "BEGIN {printf \"%.2f\", ${seconds[vantry-cli-j2]} / ${seconds[vantry-cli-j1]}}")"
fi
