#!/usr/bin/env bash
# Builds the linux-fuzz preset (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each fuzz target for SECONDS (default 60) on one core, with memory and time limits.
# Prints per target the executions, the coverage (edges), the corpus size, the CPU time, the
# findings and the slow units; exits non-zero when any target found something.
#   scripts/fuzz.sh                 every target in fuzz/targets/, 60 s each
#   scripts/fuzz.sh 300 jpeg exif   those targets, 300 s each
# Seeds are generated afresh from our own encoders into build/linux-fuzz/seeds/<target>; the
# corpus grows in build/linux-fuzz/corpus/<target> from run to run. A finding is written to
# build/linux-fuzz/findings/<target>/: minimise it (fuzz_<target> -minimize_crash=1 ...), fix
# the cause and add the input to fuzz/regressions/<target>/, where the tests replay it.
# On a shared machine run it as `nice -n 15 scripts/fuzz.sh ...`.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
seconds=60
if [[ ${1:-} =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
if ((${#targets[@]} == 0)); then
    for source in fuzz/targets/*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi
for target in "${targets[@]}"; do
    [[ -f fuzz/targets/$target.cpp ]] || { echo "fuzz: no target '$target' (fuzz/targets/$target.cpp)" >&2; exit 2; }
done

build=build/linux-fuzz
rss_limit_mb=${VANTRY_FUZZ_RSS_MB:-2048}
timeout_s=${VANTRY_FUZZ_TIMEOUT:-30}

mkdir -p "$build"
cmake --preset linux-fuzz >"$build/configure.log" 2>&1 || { tail -n 30 "$build/configure.log"; exit 1; }
build_targets=()
for target in "${targets[@]}"; do
    build_targets+=(--target "fuzz_$target" --target "fuzz_${target}_replay")
done
cmake --build --preset linux-fuzz -j"${VANTRY_JOBS:-2}" "${build_targets[@]}" >"$build/build.log" 2>&1 ||
    { tail -n 40 "$build/build.log"; exit 1; }

printf '%-8s %12s %8s %8s %10s %9s %6s\n' target executions edges corpus cpu-seconds findings slow
# crash-, leak-, timeout- and oom- files are findings; slow-unit- files (a unit over 10 s of
# wall time, which a busy machine alone can cause) are only counted.
findings_in() { find "$1" -type f ! -name 'slow-unit-*' | wc -l; }
slow_units_in() { find "$1" -type f -name 'slow-unit-*' | wc -l; }
status=0
for target in "${targets[@]}"; do
    seeds=$build/seeds/$target corpus=$build/corpus/$target findings=$build/findings/$target
    log=$build/fuzz-$target.log
    rm -rf "$seeds"
    mkdir -p "$corpus" "$findings"
    "$build/fuzz/fuzz_${target}_replay" --seeds "$seeds" || { echo "fuzz: seeds for $target failed" >&2; exit 1; }
    dictionary=()
    [[ -f fuzz/targets/$target.dict ]] && dictionary=(-dict="fuzz/targets/$target.dict")
    before=$(findings_in "$findings") slow_before=$(slow_units_in "$findings")
    TIMEFORMAT='%U %S'
    cpu=$( { time "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb="$rss_limit_mb" \
                 -timeout="$timeout_s" -print_final_stats=1 -artifact_prefix="$findings/" "${dictionary[@]}" \
                 "$corpus" "$seeds" >"$log" 2>&1; } 2>&1 )
    executions=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n1)
    edges=$(grep -oE 'cov: [0-9]+' "$log" | tail -n1 | grep -oE '[0-9]+')
    corpus_size=$(find "$corpus" -type f | wc -l)
    found=$(($(findings_in "$findings") - before)) slow=$(($(slow_units_in "$findings") - slow_before))
    printf '%-8s %12s %8s %8s %10s %9s %6s\n' "$target" "${executions:-?}" "${edges:-?}" "$corpus_size" \
        "$(awk '{printf "%.0f", $1 + $2}' <<<"$cpu")" "$found" "$slow"
    if ((found > 0)) || grep -qE '^==[0-9]+==ERROR|^SUMMARY: ' "$log"; then
        status=1
        echo "   finding in $target: see $log and $findings/" >&2
    fi
done
exit $status
