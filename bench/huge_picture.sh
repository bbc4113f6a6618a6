#!/usr/bin/env bash
# The huge-picture figures: a photo-like baseline JPEG of WIDTH x HEIGHT (default 30000 x
# 25000, 750 megapixels, far beyond what an image may hold) is halved with the mark by
# "vantry-cli resize --jobs 1", reporting wall and CPU time, megapixels per second and the
# peak RSS (/usr/bin/time -v); then a progressive picture claiming the same size, which
# cannot be streamed, must be refused at once and in little memory.
#   bench/huge_picture.sh [WIDTH HEIGHT]
# The pictures are written to a temporary directory and removed afterwards.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
width=${1:-30000}
height=${2:-25000}
build="$repo/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVANTRY_BUILD_TESTS=OFF >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$build" -j2 --target vantry-cli make_large_jpeg >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; exit 1; }

# run LABEL COMMAND...: runs under /usr/bin/time -v and prints one line of figures.
run() {
    local label=$1; shift
    local status=0
    /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt" || status=$?
    awk -F': ' -v label="$label" -v status="$status" -v mp="$(awk "BEGIN {print $width * $height / 1e6}")" '
        /Elapsed \(wall clock\)/ {n = split($2, t, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + t[i]}
        /User time|System time/ {cpu += $2}
        /Maximum resident set size/ {rss = $2}
        END {rate = status == 0 ? sprintf("%7.1f MP/s", mp / wall) : "       -    "
             printf "%-28s exit %d  wall %7.2f s  cpu %7.2f s  %s  peak RSS %7.1f MiB (%.0f MB)\n",
                    label, status, wall, cpu, rate, rss / 1024, rss * 1.024 / 1000}' "$work/time.txt"
}

echo "bench: writing a ${width} x ${height} baseline JPEG ..."
run "write the picture" "$build/bench/make_large_jpeg" "$work/huge.jpg" "$width" "$height"
echo "bench: $(($(stat -c %s "$work/huge.jpg") / 1048576)) MiB, $(awk "BEGIN {print $width * $height / 1e6}") megapixels"

mkdir -p "$work/out"
run "halve with the mark" "$build/cli/vantry-cli" resize --mark "Vantry 2026" --dest "$work/out" --jobs 1 "$work/huge.jpg"
# The result is itself beyond what an image may hold: read only its header.
if command -v identify >/dev/null; then
    echo "bench: result $(identify -ping -format '%w x %h, %[interlace] interlace' "$work/out/huge.jpg")"
fi

"$build/bench/make_large_jpeg" "$work/progressive.jpg" "$width" "$height" --progressive-header
run "refuse the progressive one" "$build/cli/vantry-cli" resize --mark "Vantry 2026" --dest "$work/out" --jobs 1 "$work/progressive.jpg"
grep -h "Cannot resize" "$work/stdout.txt" || true
